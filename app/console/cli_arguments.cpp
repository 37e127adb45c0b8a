#include "app/console/cli_arguments.h"

#include <cstring>
#include <vector>

#include "app/texts.h"

namespace spelvane::cli {
namespace {

int digitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

bool commandNamed(const std::string& word, Command& command) {
    if (word == "show") command = Command::Show;
    else if (word == "backup") command = Command::Backup;
    else if (word == "store") command = Command::Store;
    else if (word == "restore") command = Command::Restore;
    else if (word == "verify") command = Command::Verify;
    else if (word == "check") command = Command::Check;
    else if (word == "sync") command = Command::Sync;
    else if (word == "doctor") command = Command::Doctor;
    else if (word == "history") command = Command::History;
    else return false;
    return true;
}

// Decimal digits alone, from least to most.
bool parseNumber(const char* text, int least, int most, int& value) {
    if (!text || *text == '\0') return false;
    long number = 0;
    for (; *text; ++text) {
        const int digit = digitValue(*text, 10);
        if (digit < 0) return false;
        number = number * 10 + digit;
        if (number > most) return false;
    }
    value = static_cast<int>(number);
    return value >= least;
}

// A count of entries: at least 1.
bool parseCount(const char* text, int& value) { return parseNumber(text, 1, 1000000000, value); }

}  // namespace

bool parseHBlank(const char* text, uint16_t& value) {
    if (!text) return false;
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0') return false;
    uint32_t number = 0;
    for (; *text; ++text) {
        const int digit = digitValue(*text, base);
        if (digit < 0) return false;
        number = number * base + static_cast<uint32_t>(digit);
        // Stops before the sum can wrap, however many digits follow.
        if (number > static_cast<uint32_t>(kHBlankMaximum)) return false;
    }
    if (number < static_cast<uint32_t>(kHBlankMinimum)) return false;
    value = static_cast<uint16_t>(number);
    return true;
}

bool parseArguments(int argc, const char* const* argv, Request& request, std::string& error) {
    request = Request{};
    if (argc == 2 && std::strcmp(argv[1], "--open-workstation-folder") == 0) {
        request.command = Command::OpenWorkstationFolder;
        return true;
    }
    // Asking for help or the version never fails, whatever else is given.
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            request.command = Command::Help;
            return true;
        }
        if (word == "--version") {
            request.command = Command::Version;
            return true;
        }
    }

    std::vector<std::string> positional;
    bool hblankGiven = false;
    bool halfClockGiven = false;
    bool readerGiven = false;
    bool lastGiven = false;
    bool folderGiven = false;
    bool reportGiven = false;
    bool waitGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool takesValue =
            word == "--hblank" || word == "--half-clock" || word == "--reader" || word == "--last" || word == "-C" ||
                               word == "--report" || word == "--wait";
        if (takesValue && i + 1 >= argc) {
            error = word + " needs a value";
            return false;
        }
        // An option that takes a value is given once: which of two would a
        // script have meant?
        const auto givenTwice = [&](bool& given) {
            if (given) error = word + " is given twice";
            const bool twice = given;
            given = true;
            return twice;
        };
        if (word == "--json") {
            request.json = true;
        } else if (word == "--dry-run") {
            request.dryRun = true;
        } else if (word == "--hblank") {
            const char* value = argv[++i];
            uint16_t hblank = 0;
            if (givenTwice(hblankGiven)) return false;
            if (!parseHBlank(value, hblank)) {
                error = std::string("--hblank takes ") + std::to_string(kHBlankMinimum) + " to " +
                        std::to_string(kHBlankMaximum) + " (decimal, or hexadecimal with 0x), not '" +
                        value + "'";
                return false;
            }
            request.hblank = hblank;
        } else if (word == "--half-clock") {
            const std::string value = argv[++i];
            if (givenTwice(halfClockGiven)) return false;
            if (value != "on" && value != "off") {
                error = "--half-clock takes on or off, not '" + value + "'";
                return false;
            }
            request.halfClock = value == "on";
        } else if (word == "--reader") {
            if (givenTwice(readerGiven)) return false;
            request.reader = argv[++i];
        } else if (word == "--last") {
            const char* value = argv[++i];
            if (givenTwice(lastGiven)) return false;
            if (!parseCount(value, request.last)) {
                error = std::string("--last takes a number of entries from 1 on, not '") + value + "'";
                return false;
            }
        } else if (word == "-C" || word == "--report") {
            // A name, which an empty word is not.
            const bool folder = word == "-C";
            if (givenTwice(folder ? folderGiven : reportGiven)) return false;
            std::string& name = folder ? request.folder : request.report;
            name = argv[++i];
            if (name.empty()) {
                error = word + (folder ? " needs a folder" : " needs a file");
                return false;
            }
        } else if (word == "--wait") {
            const char* value = argv[++i];
            if (givenTwice(waitGiven)) return false;
            if (!parseNumber(value, 0, kLongestWait, request.waitSeconds)) {
                error = std::string("--wait takes a number of seconds from 0 to ") + std::to_string(kLongestWait) +
                        ", not '" + value + "'";
                return false;
            }
        } else if (word == "--workstation") {
            request.workstation = true;
        } else if (word.size() > 1 && word[0] == '-') {
            error = "unknown option " + word;
            return false;
        } else {
            positional.push_back(word);
        }
    }

    if (folderGiven && request.workstation) {
        error = "-C and --workstation name two folders to run in; give one";
        return false;
    }
    if (!positional.empty() && !commandNamed(positional[0], request.command)) {
        error = "unknown command " + positional[0];
        return false;
    }
    // history reads every file or folder named after it.
    if (request.command == Command::History) {
        request.histories.assign(positional.begin() + 1, positional.end());
        positional.resize(1);
    }
    const bool takesFile = request.command == Command::Restore || request.command == Command::Verify;
    // check and sync hold the readers to a reference file or to the values
    // the options give, never to both; doctor may be given either, or none.
    const bool holds = request.command == Command::Check || request.command == Command::Sync;
    const bool doctor = request.command == Command::Doctor;
    const bool valuesGiven = hblankGiven || halfClockGiven;
    if ((holds || doctor) && positional.size() == 2 && valuesGiven) {
        error = positional[0] + " takes a reference .set file or --hblank and --half-clock, not both";
        return false;
    }
    if (holds && positional.size() == 1 && !valuesGiven) {
        error = positional[0] + " needs a reference .set file, or --hblank or --half-clock";
        return false;
    }
    const size_t wanted = takesFile || ((holds || (doctor && positional.size() == 2)) && !valuesGiven)
                              ? 2
                              : (positional.empty() ? 0 : 1);
    if (positional.size() < wanted) {
        error = positional[0] + " needs the .set file to " + (request.command == Command::Restore ? "restore from" : "compare with");
        return false;
    }
    if (positional.size() > wanted) {
        error = "unexpected argument " + positional[wanted];
        return false;
    }
    if (positional.size() == 2) request.file = positional[1];

    const bool previews = request.command == Command::Store || request.command == Command::Restore;
    if (request.dryRun && !previews) {
        error = "--dry-run goes only with store and restore";
        return false;
    }
    const bool reports = request.command == Command::Show || request.command == Command::Verify ||
                         request.command == Command::History || holds || request.command == Command::Doctor ||
                         request.dryRun;
    if (request.json && !reports) {
        error = "--json goes only with show, verify, check, sync, doctor, history and a --dry-run";
        return false;
    }
    if ((readerGiven || lastGiven) && request.command != Command::History) {
        error = std::string(readerGiven ? "--reader" : "--last") + " goes only with history";
        return false;
    }
    if ((reportGiven || waitGiven) && !holds) {
        error = std::string(reportGiven ? "--report" : "--wait") + " goes only with check and sync";
        return false;
    }
    if (valuesGiven && request.command != Command::Store && !holds && !doctor) {
        error = std::string(hblankGiven ? "--hblank" : "--half-clock") + " goes only with store, check, sync and doctor";
        return false;
    }
    return true;
}

const char* usageText() {
    return "usage: spelvane-cli [show] [--json]\n"
           "       spelvane-cli backup\n"
           "       spelvane-cli store [--hblank N] [--half-clock on|off] [--dry-run [--json]]\n"
           "       spelvane-cli restore FILE [--dry-run [--json]]\n"
           "       spelvane-cli verify FILE [--json]\n"
           "       spelvane-cli check|sync [--hblank N] [--half-clock on|off] [--json] [--wait S] [--report FILE]\n"
           "       spelvane-cli check|sync FILE [--json] [--wait S] [--report FILE]\n"
           "       spelvane-cli doctor [FILE | --hblank N --half-clock on|off] [--json]\n"
           "       spelvane-cli history [PATH ...] [--json] [--reader NAME] [--last N]\n"
           "       spelvane-cli --help | --version\n"
           "any command runs elsewhere with -C DIR or --workstation\n";
}

const char* helpText() {
    return "\n"
           "  show      print the settings of the reader (or matched pair); --json: one JSON array\n"
           "  backup    save the settings into a new .set file in this folder, print its name\n"
           "  store     back up, then write the new values; an option left out keeps the\n"
           "            reader's value. --hblank: 21 to 1023, decimal or 0x hexadecimal\n"
           "  restore   write the sections of a .set file back into the reader\n"
           "  verify    compare the reader with its section of a .set file; writes nothing\n"
           "  check     whether every reader already holds the values or the reference file;\n"
           "            writes nothing. 0 it holds them, 6 it does not\n"
           "  sync      make every reader hold them: one that already does is left alone (no\n"
           "            backup, no write); one that differs is backed up, then written\n"
           "  --wait S  with check or sync: while no reader is found, look again every 2\n"
           "            seconds for up to S seconds (a reader whose driver is not up yet)\n"
           "  --report FILE  with check or sync: add one CSV row per reader (or one saying\n"
           "            none was found) to FILE, a file on a share every workstation adds to\n"
           "  doctor    check the set-up (library, readers, folder, history, event source);\n"
           "            with FILE or --hblank/--half-clock, whether each reader holds it, as\n"
           "            check tells; writes nothing. 0 all is well, 8 something needs doing\n"
           "  history   print the changes recorded in spelvane-history.csv in this folder,\n"
           "            oldest first; asks the reader nothing. PATH: read these histories\n"
           "            (files, or folders holding one; \\\\ws01\\C$\\ProgramData\\Spelvane)\n"
           "            as one, by time. --reader: only that reader's; --last: only the last N\n"
           "  --dry-run with store or restore: print what would change; no backup, no write\n"
           "  -C DIR    run in DIR: backups, the history and relative FILEs are there\n"
           "  --workstation  run in the workstation folder (Spelvane in the all-users\n"
           "            application data folder) when it exists, else in this program's folder\n"
           "\n"
           "exit status: 0 done (also \"No changes\"; verify: the reader matches); 1 a device\n"
           "request or read-back failed, or the change was refused; 2 wrong usage; 3 no\n"
           "reader, more than one, a refused pair, a reader that cannot be opened or no usable\n"
           "library; 4 the backup could not be saved (nothing written); 5 the file could not\n"
           "be read or did not serve every open reader (history: a PATH could not be read, the\n"
           "others are printed all the same); 6 verify: a reader differs from the file, or\n"
           "check: a reader does not hold it; 7 standard output could not be written; 8\n"
           "doctor: a check found something to do; 9 an unexpected failure (out of memory, an\n"
           "internal error)\n";
}

}  // namespace spelvane::cli
