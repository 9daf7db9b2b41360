#include "Options.h"

#include <cctype>
#include <sstream>

const char* const kRecoverUsage =
    "Usage:\n"
    "  jexrecover volumes [IMAGE] [--map FILE | --no-map] [--json]\n"
    "  jexrecover scan VOLUME [--deep] [--streams] [--map FILE | --no-map] [FILTERS] [--sort name|size|path] [--json]\n"
    "  jexrecover restore VOLUME [--deep] [--streams] [--map FILE | --no-map] --to DIR (--all | --index N[,N...])\n"
    "                     [FILTERS] [--flat] [--json]\n"
    "\n"
    "VOLUME is a device node (/dev/sdb1), an image file, the mount point of a device, or a\n"
    "partition inside a whole-disk image or device: IMAGE@pN, N as its partition table numbers\n"
    "it (jexrecover volumes IMAGE lists them).\n"
    "\n"
    "Filters:\n"
    "  --category NAME   documents, audio, images or video (may be repeated)\n"
    "  --ext LIST        own extensions, comma-separated, without dots (jpg,cr2)\n"
    "  --min-size SIZE   smallest size, in bytes or with K, M, G (powers of 1024)\n"
    "  --max-size SIZE   largest size\n"
    "  --match GLOB      files whose path matches GLOB (may be repeated): * ? [...] as in\n"
    "                    the shell, * also across \"/\", letters in either case. A GLOB\n"
    "                    with \"/\" is matched against the path as listed or inside the\n"
    "                    volume (DCIM/*.jpg), one without against the file's name\n"
    "\n"
    "Searching:\n"
    "  --deep            a deep search: besides what the file system's own structures\n"
    "                    reach, the whole volume is read for the folders and files of\n"
    "                    formatted volumes and deleted trees, and for files by their\n"
    "                    signatures (listed under $Carved/TYPE/); it takes longer.\n"
    "                    Ctrl-C stops a search and goes on with what it found so far\n"
    "  --streams         NTFS: also list each found file's named data streams as files\n"
    "                    of their own, NAME:STREAM (a download's Zone.Identifier);\n"
    "                    restored beside the file, as NAME_STREAM where the\n"
    "                    destination takes no \":\" in names\n"
    "  --map FILE        the image is a copy GNU ddrescue made of a failing disk, and FILE\n"
    "                    its map: what the map does not call finished (+) was not read and\n"
    "                    is treated as unreadable, never as data. A map beside the image\n"
    "                    (IMAGE.map or IMAGE.mapfile) is used without it, and said so\n"
    "  --no-map          no map, not even one beside the image\n"
    "\n"
    "Listing:\n"
    "  --sort KEY        name or path (A to Z), or size (largest first); the scan's\n"
    "                    order otherwise\n"
    "\n"
    "Restoring:\n"
    "  --to DIR          the folder that receives the files (made when missing);\n"
    "                    it must not lie on the volume being searched\n"
    "  --all             every deleted file found\n"
    "  --index N[,N...]  the files with these indexes, as scan lists them: files are\n"
    "                    counted from 1, and a file keeps its index whatever the\n"
    "                    filters, --match and --sort\n"
    "  --flat            every file straight into DIR instead of its folder tree\n"
    "\n"
    "  --json            machine-readable output: one object with the list and a summary\n"
    "  --quiet           no progress display, no summary on standard error\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 all done, 1 some files are partial, failed or were skipped, 2 bad usage or a volume\n"
    "that cannot be searched.\n";

bool ZelParseSize(const std::string& text, uint64_t& size)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    size_t i = 0;
    uint64_t value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        uint64_t digit = static_cast<uint64_t>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++i;
    }
    uint64_t factor = 1;
    if (i < text.size()) {
        char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        factor = unit == 'K' ? 1024ull : unit == 'M' ? 1024ull * 1024 : unit == 'G' ? 1024ull * 1024 * 1024 : 0;
        if (factor == 0 || i + 1 != text.size())
            return false;
    }
    if (value > UINT64_MAX / factor)
        return false;
    size = value * factor;
    return true;
}

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

} // namespace

bool ZelParseRecoverOptions(int argc, char** argv, CRecoverOptions& options, std::string& error)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (arg == "--deep") {
            options.deep = true;
        } else if (arg == "--streams") {
            options.streams = true;
        } else if (arg == "--map") {
            if (!value(options.map))
                return false;
            if (options.map.empty()) {
                error = "--map needs a file";
                return false;
            }
        } else if (arg == "--no-map") {
            options.noMap = true;
        } else if (arg == "--flat") {
            options.flat = true;
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--to") {
            if (!value(options.destination))
                return false;
        } else if (arg == "--index") {
            if (!value(text))
                return false;
            for (const std::string& part : Split(text, ',')) {
                uint64_t index = 0;
                bool digits = !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
                if (!digits || !ZelParseSize(part, index)) {
                    error = "--index takes numbers separated by commas, not \"" + text + "\"";
                    return false;
                }
                options.indexes.push_back(index);
            }
        } else if (arg == "--match") {
            if (!value(text))
                return false;
            if (text.empty()) {
                error = "--match needs a pattern";
                return false;
            }
            options.matches.push_back(text);
        } else if (arg == "--sort") {
            if (!value(text))
                return false;
            if (text == "name")
                options.sort = CRecoverOptions::ByName;
            else if (text == "size")
                options.sort = CRecoverOptions::BySize;
            else if (text == "path")
                options.sort = CRecoverOptions::ByPath;
            else {
                error = "--sort takes name, size or path, not \"" + text + "\"";
                return false;
            }
        } else if (arg == "--category") {
            if (!value(text))
                return false;
            if (text != "documents" && text != "audio" && text != "images" && text != "video") {
                error = "unknown category \"" + text + "\" (documents, audio, images or video)";
                return false;
            }
            options.categories.push_back(text);
        } else if (arg == "--ext") {
            if (!value(text))
                return false;
            for (std::string part : Split(text, ',')) {
                if (!part.empty() && part[0] == '.')
                    part.erase(0, 1);
                if (part.empty()) {
                    error = "--ext takes extensions separated by commas, not \"" + text + "\"";
                    return false;
                }
                options.extensions.push_back(part);
            }
        } else if (arg == "--min-size" || arg == "--max-size") {
            if (!value(text))
                return false;
            uint64_t size = 0;
            if (!ZelParseSize(text, size)) {
                error = arg + " takes a size in bytes or with K, M, G, not \"" + text + "\"";
                return false;
            }
            if (arg == "--min-size") {
                options.hasMinSize = true;
                options.minSize = size;
            } else {
                options.hasMaxSize = true;
                options.maxSize = size;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (options.help || options.version)
        return true;
    if (positional.empty()) {
        error = "no command given";
        return false;
    }
    const std::string& command = positional[0];
    if (!options.map.empty() && options.noMap) {
        error = "--map and --no-map exclude each other";
        return false;
    }
    if (command == "volumes") {
        options.command = CRecoverOptions::Volumes;
        if (positional.size() > 2) {
            error = "volumes takes at most one image";
            return false;
        }
        if (positional.size() == 2)
            options.volume = positional[1];
        if (!options.map.empty() && options.volume.empty()) {
            error = "--map belongs to an image";
            return false;
        }
        if (options.deep || options.streams) {
            error = std::string(options.deep ? "--deep" : "--streams") + " belongs to scan and restore";
            return false;
        }
        return true;
    }
    if (command != "scan" && command != "restore") {
        error = "unknown command \"" + command + "\"";
        return false;
    }
    options.command = command == "scan" ? CRecoverOptions::Scan : CRecoverOptions::Restore;
    if (positional.size() != 2) {
        error = command + (positional.size() < 2 ? " needs a volume" : " takes one volume");
        return false;
    }
    options.volume = positional[1];
    if (options.hasMinSize && options.hasMaxSize && options.minSize > options.maxSize) {
        error = "--min-size is larger than --max-size";
        return false;
    }
    if (options.command == CRecoverOptions::Restore) {
        if (options.destination.empty()) {
            error = "restore needs --to DIR";
            return false;
        }
        if (options.all == !options.indexes.empty()) {
            error = "restore needs either --all or --index";
            return false;
        }
        if (options.sort != CRecoverOptions::ScanOrder) {
            error = "--sort belongs to scan; restore keeps the scan's order";
            return false;
        }
    } else if (!options.destination.empty() || options.all || !options.indexes.empty() || options.flat) {
        error = "--to, --all, --index and --flat belong to restore";
        return false;
    }
    return true;
}
