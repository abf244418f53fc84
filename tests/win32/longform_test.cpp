// The "\\?\" form the UTF-16 entry points open long paths through
// (qm::platform::LongForm), run under wine64 by compare.sh: which paths get
// it, what it is for a drive path, a relative path and a share, and that the
// file is then really opened through it. usage: longform_test.exe LONG_JOB
// (A Windows program of its own: the Linux test binary, which takes every
// source under tests/, gets nothing from it.)
#if defined(_WIN32)
#include <windows.h>

#include <cstdio>
#include <string>

#include "jobfile/platform.h"

namespace {

int failures = 0;

void Expect(const char* what, const std::wstring& got, const std::wstring& want) {
    if (got == want) return;
    ++failures;
    std::printf("%s: got \"%ls\", want \"%ls\"\n", what, got.c_str(), want.c_str());
}

std::wstring Full(const std::wstring& path) {
    wchar_t buf[4096];
    const DWORD n = ::GetFullPathNameW(path.c_str(), 4096, buf, nullptr);
    return std::wstring(buf, n);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    using qm::platform::LongForm;
    const std::wstring job = argv[1];  // relative, more than MAX_PATH characters
    const std::wstring segment(150, L's');
    const std::wstring deepShare = LR"(\\server\share\)" + segment + L"\\" + segment + L"\\job.prn";
    const std::wstring deepDrive = LR"(C:\)" + segment + L"\\" + segment + L"\\job.prn";

    // Short paths, and paths already in a device or long form, stay as they are.
    Expect("a short path", LongForm(L"job.prn"), L"");
    Expect("259 characters", LongForm((L"C:\\" + std::wstring(255, L'x')).c_str()), L"");
    Expect("a long form", LongForm((LR"(\\?\)" + deepDrive).c_str()), L"");
    Expect("a device path", LongForm(LR"(\\.\pipe\x)"), L"");
    Expect("an empty path", LongForm(L""), L"");
    // MAX_PATH characters and more get the prefix on their full path.
    Expect("260 characters", LongForm((L"C:\\" + std::wstring(257, L'x')).c_str()),
           LR"(\\?\C:\)" + std::wstring(257, L'x'));
    Expect("a long drive path", LongForm(deepDrive.c_str()), LR"(\\?\)" + deepDrive);
    Expect("a long drive path with / and ..", LongForm((LR"(C:/)" + segment + L"/x/../" + segment + L"/job.prn").c_str()),
           LR"(\\?\)" + deepDrive);
    Expect("a long share path", LongForm(deepShare.c_str()), LR"(\\?\UNC\server\share\)" + segment + L"\\" + segment + L"\\job.prn");
    Expect("a long relative path", LongForm(job.c_str()), LR"(\\?\)" + Full(job));

    // The long job opens through its long form and as given.
    for (const std::wstring& path : {job, LongForm(job.c_str())}) {
        const qm::platform::Handle h = qm::platform::OpenFileW(path.c_str());
        if (h == qm::platform::kInvalidHandle) {
            ++failures;
            std::printf("cannot open %ls (error %lu)\n", path.c_str(), ::GetLastError());
        } else {
            qm::platform::CloseFile(h);
        }
    }
    std::printf("long forms: %s\n", failures == 0 ? "all as expected" : "FAILED");
    return failures == 0 ? 0 : 1;
}
#endif
