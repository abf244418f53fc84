// The accurate reading of PostScript jobs: the document-structuring
// comments, and a tokenizer over the parts of the job that set up the page
// device (prolog, setup, page setup, features, trailer) that tells code the
// job executes from code it only defines.
#pragma once

#include <cstdint>

#include "accurate/accurate.h"
#include "jobfile/bytes.h"

namespace qm::psaccurate {

// What the executed code of a job asked for.
struct DeviceRequests {
    int duplex = -1;                           // -1: not asked
    uint32_t copies = 0;                       // 0: not asked
    double pageWidth = 0.0, pageLength = 0.0;  // points; 0: not asked
    uint64_t showpages = 0;                    // showpage and copypage calls executed at top level
    bool loopedShowpage = false;               // a showpage in a loop whose turns are unknown
};

// Reads `code` as a whole program run from its top level.
DeviceRequests ExecutedRequests(Bytes code);

// Counts a PostScript job: QM_OK with the record, or QM_E_NOT_UNDERSTOOD
// when neither its comments nor its structure tell the pages. Without
// `colour` the pages are not read for colour (nor their showpages checked),
// and colour is unknown.
int32_t CountPostScript(Bytes job, accurate::Result& out, bool colour = true);

}  // namespace qm::psaccurate
