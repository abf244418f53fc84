// Option parsing: one table says which option takes a value and which
// commands it applies to; anything else is a usage error (exit 2).
#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "quirometer/quirometer.h"

namespace qmcli {

const char* const kUsage =
    "usage: quirometer count [--pdl TAG [--compatible]] [--json [--pages]] [--total] [-r] [--files-from LIST]\n"
    "                        [--debug] [-j N] FILE|FOLDER...\n"
    "       quirometer detect [--json] [-r] [--files-from LIST] [-j N] FILE|FOLDER...\n"
    "       quirometer list\n"
    "       quirometer samples [--compatible] [--dir DIR] [--json] [--debug] [-j N]\n"
    "       quirometer accounting jobs|report|replay ...   (see quirometer accounting --help)\n"
    "       quirometer --help | --version\n"
    "\n"
    "Counts the pages of spooled print jobs without rendering them.\n"
    "\n"
    "  count      find each job's language and count what the printer will really do;\n"
    "             FILE '-' reads the job from standard input, a FOLDER gives its files\n"
    "  detect     print the language of each job, or 'unknown'\n"
    "  list       print the supported tags and their languages\n"
    "  samples    count the bundled sample jobs and compare each with its truth\n"
    "\n"
    "  --pdl TAG        count as this language instead of detecting it: a tag of\n"
    "                   'quirometer list' or a common name (PS, PCL5, PCL6, ESCPAGE, ...)\n"
    "  --compatible     report exactly what the library's GetTotalPageCount_TAG export\n"
    "                   returns (needs --pdl with count)\n"
    "  --json           one JSON object per line instead of a text line\n"
    "  --pages          with --json: each page of one copy (colour, side, paper)\n"
    "  --total          end with a line of totals: jobs, pages, sheets, colour jobs;\n"
    "                   colour and mono pages and sheets by paper size\n"
    "  -r, --recursive  count the files of FOLDERs' subfolders too\n"
    "  --files-from LIST  also count the paths listed in LIST, one a line ('-': stdin)\n"
    "  --dir DIR        the samples' folder (holding truth.tsv)\n"
    "  --debug          diagnostic lines and interpreter traces to standard error\n"
    "  -j N             count N files at a time (default: the number of cores)\n"
    "\n"
    "Exit status: 0 every file counted (or recognised, or agreeing), 1 a file failed,\n"
    "2 usage error.\n";

namespace {

enum CommandBit : unsigned { kCount = 1, kDetect = 2, kList = 4, kSamples = 8 };

struct CommandSpec {
    std::string_view name;
    Command command;
    unsigned bit;
};
constexpr CommandSpec kCommands[] = {
    {"count", Command::Count, kCount},
    {"detect", Command::Detect, kDetect},
    {"list", Command::List, kList},
    {"samples", Command::Samples, kSamples},
};

enum class Opt { Pdl, Compatible, Json, Pages, Total, Recursive, FilesFrom, Dir, Debug, Jobs };

struct OptionSpec {
    std::string_view name;
    std::string_view shortName;  // empty when none
    bool takesValue;
    unsigned commands;  // CommandBit set it applies to
    Opt id;
};
constexpr OptionSpec kOptionTable[] = {
    {"--pdl", "", true, kCount, Opt::Pdl},
    {"--compatible", "", false, kCount | kSamples, Opt::Compatible},
    {"--json", "", false, kCount | kDetect | kSamples, Opt::Json},
    {"--pages", "", false, kCount, Opt::Pages},
    {"--total", "", false, kCount, Opt::Total},
    {"--recursive", "-r", false, kCount | kDetect, Opt::Recursive},
    {"--files-from", "", true, kCount | kDetect, Opt::FilesFrom},
    {"--dir", "", true, kSamples, Opt::Dir},
    {"--debug", "", false, kCount | kDetect | kSamples, Opt::Debug},
    {"--jobs", "-j", true, kCount | kDetect | kSamples, Opt::Jobs},
};

const CommandSpec* FindCommand(std::string_view name) {
    for (const CommandSpec& c : kCommands)
        if (c.name == name) return &c;
    return nullptr;
}

// The option `arg` names, and its value when written "--name=value" or "-jN".
const OptionSpec* FindOption(std::string_view arg, std::string_view& inlineValue, bool& hasInline) {
    hasInline = false;
    for (const OptionSpec& o : kOptionTable) {
        if (arg == o.name || (!o.shortName.empty() && arg == o.shortName)) return &o;
        if (!o.takesValue) continue;
        if (arg.size() > o.name.size() && arg.substr(0, o.name.size()) == o.name && arg[o.name.size()] == '=') {
            inlineValue = arg.substr(o.name.size() + 1);
            hasInline = true;
            return &o;
        }
        if (!o.shortName.empty() && arg.size() > o.shortName.size() && arg.substr(0, o.shortName.size()) == o.shortName) {
            inlineValue = arg.substr(o.shortName.size());
            hasInline = true;
            return &o;
        }
    }
    return nullptr;
}

int Apply(const OptionSpec& o, const std::string& value, Options& opt) {
    switch (o.id) {
        case Opt::Pdl: {
            const char* tag = value.empty() ? nullptr : QuirometerCanonicalTag(value.c_str());
            if (tag == nullptr) return Usage("unknown tag '" + value + "' (see 'quirometer list')");
            opt.pdl = tag;
            break;
        }
        case Opt::Compatible: opt.compatible = true; break;
        case Opt::Json: opt.json = true; break;
        case Opt::Pages: opt.pages = true; break;
        case Opt::Total: opt.total = true; break;
        case Opt::Recursive: opt.recursive = true; break;
        case Opt::FilesFrom:
            if (value.empty()) return Usage("--files-from needs a file");
            opt.filesFrom = value;
            break;
        case Opt::Dir:
            if (value.empty()) return Usage("--dir needs a folder");
            opt.dir = value;
            break;
        case Opt::Debug: opt.debug = true; break;
        case Opt::Jobs: {
            char* end = nullptr;
            const long v = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || v < 1 || v > 1024) return Usage("-j needs a number from 1 to 1024");
            opt.jobs = static_cast<unsigned>(v);
            break;
        }
    }
    return kExitOk;
}

std::string Spelling(const OptionSpec& o) {
    return std::string(o.shortName.empty() ? o.name : o.shortName);
}

// What the parsed options must satisfy for the command they came with.
int Check(const Options& opt, const CommandSpec& command, const std::vector<const OptionSpec*>& seen) {
    for (const OptionSpec* o : seen)
        if ((o->commands & command.bit) == 0)
            return Usage("option '" + Spelling(*o) + "' does not apply to '" + std::string(command.name) + "'");
    const std::string name(command.name);
    switch (opt.command) {
        case Command::Count:
            if (opt.compatible && opt.pdl.empty()) return Usage("--compatible needs --pdl TAG: it runs that language's export");
            if (opt.pages && !opt.json) return Usage("--pages needs --json: the pages are listed in the JSON output");
            if (opt.pages && opt.compatible) return Usage("--pages needs the accurate count: an export reports no pages");
            [[fallthrough]];
        case Command::Detect:
            if (opt.files.empty() && opt.filesFrom.empty()) return Usage(name + " needs at least one FILE");
            if (opt.filesFrom == "-")
                for (const std::string& f : opt.files)
                    if (f == "-") return Usage("standard input cannot hold both the list of files and a job");
            break;
        default:
            if (!opt.files.empty()) return Usage("'" + name + "' takes no files");
            break;
    }
    return kExitOk;
}

}  // namespace

int Usage(const std::string& message) {
    std::fprintf(stderr, "quirometer: %s\nTry 'quirometer --help'.\n", message.c_str());
    return kExitUsage;
}

int ParseOptions(int argc, const char* const* argv, Options& opt) {
    const CommandSpec* command = nullptr;
    std::vector<const OptionSpec*> seen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            opt.command = Command::Help;
            return kExitOk;
        }
        if (a == "--version") {
            opt.command = Command::Version;
            return kExitOk;
        }
        if (a == "--") {  // everything after it is a file, even "-x"
            for (++i; i < argc; ++i) opt.files.emplace_back(argv[i]);
            break;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::string_view inlineValue;
            bool hasInline = false;
            const OptionSpec* o = FindOption(a, inlineValue, hasInline);
            if (o == nullptr) return Usage("unknown option '" + std::string(a) + "'");
            std::string value;
            if (o->takesValue) {
                if (hasInline) {
                    value = inlineValue;
                } else if (i + 1 < argc) {
                    value = argv[++i];
                } else {
                    return Usage(Spelling(*o) + " needs a value");
                }
            }
            if (const int status = Apply(*o, value, opt); status != kExitOk) return status;
            seen.push_back(o);
            continue;
        }
        if (command == nullptr) {
            command = FindCommand(a);
            if (command == nullptr) return Usage("unknown command '" + std::string(a) + "'");
        } else {
            opt.files.emplace_back(a);
        }
    }
    if (command == nullptr) return Usage("no command given");
    opt.command = command->command;
    return Check(opt, *command, seen);
}

}  // namespace qmcli
