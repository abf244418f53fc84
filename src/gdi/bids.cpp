// Detection bids of the host-based GDI streams of this folder: the stream's
// signature after its PJL header, then its first records walked by the counts
// they state.
#include "gdi/ddst.h"
#include "gdi/hbpl.h"
#include "gdi/lava.h"
#include "gdi/minolta.h"
#include "gdi/opl.h"
#include "gdi/saggdi.h"
#include "gdi/xqx.h"

namespace qm::accurate {
namespace {

// Records a walk must see before the language is believed, unless the head
// holds the whole job and the walk ends it.
constexpr int kRecords = 3;

// Minolta's block stream: the family's start block, then blocks whose
// checksums hold, chained by their lengths.
int BidMinolta(const BidInput& in, const gdi::MinoltaFamily& f) noexcept {
    const Bytes b = Body(in);
    if (!gdi::OpensMinolta(b, f)) return kNoBid;
    uint32_t at = 0;
    int n = 0;
    while (n < kRecords && at < b.size) {
        gdi::MinoltaBlock k;
        const gdi::MinoltaRead r = gdi::ReadMinoltaBlock(b, at, k);
        if (r == gdi::MinoltaRead::Invalid) return kNoBid;
        if (r == gdi::MinoltaRead::Cut) break;
        at = k.next;
        ++n;
    }
    return n >= kRecords || (n > 0 && WholeJob(in) && at == b.size) ? kBidStructure : kBidSignature;
}

}  // namespace

// PageProGDI (min12xxw) and M2300W (m2300w): the start block names the model.
int BidPageProGDI(const BidInput& in) noexcept { return BidMinolta(in, gdi::kPageProGdi); }
int BidM2300W(const BidInput& in) noexcept { return BidMinolta(in, gdi::kM2300w); }

// OPL: the job's start event, then items that read as the stream's.
int BidOPL(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!gdi::OpensOpl(b)) return kNoBid;
    uint32_t at = 0;
    int n = 0;
    while (n < kRecords && at < b.size) {
        gdi::OplItem item;
        const gdi::OplRead r = gdi::ReadOplItem(b, at, item);
        if (r == gdi::OplRead::Invalid) return kNoBid;
        if (r == gdi::OplRead::Cut) break;
        at = item.next;
        ++n;
    }
    return n >= kRecords || (n > 0 && WholeJob(in) && at == b.size) ? kBidStructure : kBidSignature;
}

// XQX: ",XQX", then a document start whose items parse, then records.
int BidXQX(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!b.matches(0, ",XQX")) return kNoBid;
    uint32_t at = gdi::kXqxSignature;
    int n = 0;
    while (n < kRecords && at < b.size) {
        const gdi::XqxStep s = gdi::ReadXqxRecord(b, at);
        if (!s.ok) {
            if (s.cut) break;  // cut by the end of the head or of the job: the signature stands
            return kNoBid;
        }
        if (n == 0 && s.type != uint32_t(gdi::XqxRecord::StartDoc)) return kNoBid;
        at = s.next;
        ++n;
    }
    return n >= kRecords || (n > 0 && WholeJob(in) && at == b.size) ? kBidStructure : kBidSignature;
}

// LAVAFLOW: only behind the PJL header that enters it (its commands are
// PCL's form), and then every command of the head must read as its own (no
// chained commands, nothing between commands, data by its stated length),
// and JBIG compression (ESC*b1234M) must be set: PCL under a LAVAFLOW
// header is not LAVAFLOW.
int BidLAVAFLOW(const BidInput& in) noexcept {
    if (!Declares(in, "LAVAFLOW")) return kNoBid;
    const Bytes b = Body(in);
    bool jbig = false;
    for (uint32_t at = 0; at < b.size;) {
        gdi::LavaCommand c;
        const gdi::LavaRead r = gdi::ReadLavaCommand(b, at, c);
        if (r == gdi::LavaRead::Invalid) return kNoBid;
        if (r == gdi::LavaRead::Cut) break;
        if (c.intro == '%') break;  // the UEL closes the job
        jbig = jbig || gdi::IsJbigMode(c);
        at = c.next;
    }
    if (jbig) return kBidDeclared;
    return WholeJob(in) ? kNoBid : kBidSignature;
}

// HBPL: behind the PJL header that enters it, records of known types
// chained by their lengths, the first the job parameters.
int BidHBPL(const BidInput& in) noexcept {
    if (!Declares(in, "HBPL")) return kNoBid;
    const Bytes b = Body(in);
    uint32_t at = 0;
    int n = 0;
    while (n < kRecords && at < b.size) {
        gdi::HbplRecord r;
        const gdi::HbplRead read = gdi::ReadHbplRecord(b, at, r);
        if (read == gdi::HbplRead::Invalid || (n == 0 && read == gdi::HbplRead::Ok && r.type[0] != 'J')) return kNoBid;
        if (read == gdi::HbplRead::Cut || r.end) break;
        at = r.next;
        ++n;
    }
    return n > 0 ? kBidDeclared : kBidSignature;
}

// Ricoh GDI (SP 1000S/1100S): the signature line, then records of the
// stream's types and lengths, the first the document start.
int BidRicohGDI(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!gdi::IsSagHeader(b)) return kNoBid;
    uint32_t at = gdi::kSagFirstRecord;
    int n = 0;
    gdi::SagStep s;
    while (n < kRecords) {
        const gdi::SagRead r = gdi::ReadSagRecord(b, at, s);
        if (r == gdi::SagRead::Invalid) return kNoBid;
        if (r == gdi::SagRead::Cut) break;
        if (n == 0 && s.type != uint16_t(gdi::SagRecord::StartDoc)) return kNoBid;
        at = s.next;
        ++n;
    }
    const bool declared = Declares(in, "RICOHGDI") || Declares(in, "SAGGDI") || Declares(in, "SAG-GDI") ||
                          Declares(in, "GDI_RL");
    return n >= kRecords || (n > 0 && WholeJob(in)) ? Parsed(declared) : kBidSignature;
}

// DDST: PJL lines alone, with no language entered (or DDST), up to a page
// start whose first image line is followed by a JBIG header of one plane.
int BidDDST(const BidInput& in) noexcept {
    const bool declared = Declares(in, "DDST");
    if (!declared && (!in.pjlLanguage.empty() || !in.ejlLanguage.empty())) return kNoBid;
    bool uel = false, inPage = false;
    for (uint32_t at = SkipWrapperBytes(in.head, 0, uel); at < in.head.size;) {
        gdi::DdstLine line;
        if (gdi::ReadDdstLine(in.head, at, line) != gdi::DdstRead::Ok) return kNoBid;
        if (line.kind == gdi::DdstKind::PageStart) {
            inPage = true;
        } else if (line.kind == gdi::DdstKind::Image) {
            return inPage && gdi::IsDdstBih(in.head, line.data) ? Parsed(declared) : kNoBid;
        } else if (line.kind == gdi::DdstKind::EndOfJob || line.kind == gdi::DdstKind::PageEnd) {
            return kNoBid;  // a page without its plane
        }
        at = line.next;
    }
    return kNoBid;
}

}  // namespace qm::accurate
