// Reading the batch form's options and names, and refusing what cannot run.
#include "BatchOptions.h"

#include "Lists.h"
#include "Worker.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <tuple>

namespace host {

namespace {

struct Options {
    bool haveAngle = false, haveDir = false, haveJobs = false, quiet = false, nulSeparated = false, noClobber = false;
    Text angle, dir, jobs;
    std::vector<Text> names, lists;
};

// The option letter an argument names ('\0' for none), and its value when
// attached: -a30, --angle=30.
char OptionOf(const Text& arg, Text& value, bool& attached) {
    const std::string word = Narrow(arg);
    attached = false;
    if (word.size() < 2 || word[0] != '-' || word == "--") return '\0';
    if (word[1] != '-') {
        if (std::string("adjnqT0").find(word[1]) == std::string::npos) return '\0';
        attached = word.size() > 2;
        value = arg.substr(2);
        return word[1];
    }
    const size_t eq = word.find('=');
    const std::string name = word.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    static const struct { const char* name; char letter; } kLong[] = {
        {"angle", 'a'}, {"output-dir", 'd'}, {"jobs", 'j'}, {"quiet", 'q'}, {"files-from", 'T'}, {"null", '0'}, {"no-clobber", 'n'}};
    for (const auto& option : kLong) {
        if (name != option.name) continue;
        attached = eq != std::string::npos;
        if (attached) value = arg.substr(eq + 1);
        return option.letter;
    }
    return '\0';
}

int ReadOptions(const std::vector<Text>& args, Options& o) {
    bool names = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string word = Narrow(args[i]);
        if (!names && word == "--") {
            names = true;
            continue;
        }
        if (names || word.size() < 2 || word[0] != '-') {
            o.names.push_back(args[i]);
            continue;
        }
        Text value;
        bool attached = false;
        const char letter = OptionOf(args[i], value, attached);
        if (letter == '\0') return Fail(ExitUsage, "unknown option '" + word + "' (bmprotate2 --help for more)");
        if (letter == 'q' || letter == '0' || letter == 'n') {
            if (attached) return Fail(ExitUsage, std::string("-") + letter + " takes no value");
            (letter == 'q' ? o.quiet : letter == 'n' ? o.noClobber : o.nulSeparated) = true;
            continue;
        }
        if (!attached) {
            if (i + 1 == args.size()) return Fail(ExitUsage, "option '" + word + "' needs a value");
            value = args[++i];
        }
        switch (letter) {
            case 'a': o.angle = value; o.haveAngle = true; break;
            case 'd': o.dir = value; o.haveDir = true; break;
            case 'j': o.jobs = value; o.haveJobs = true; break;
            default: o.lists.push_back(value); break;
        }
    }
    return ExitWritten;
}

// A positive whole number; more workers than pictures would only idle, so a
// huge one is as good as a million.
bool ParseJobs(const std::string& text, unsigned& jobs) {
    if (text.empty()) return false;
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = std::min(value * 10 + static_cast<unsigned>(c - '0'), 1000000ul);
    }
    if (value == 0) return false;
    jobs = static_cast<unsigned>(value);
    return true;
}

// One name per line; blank lines name nothing, and a CR before the line feed
// is the list's line ending, not part of a name. NUL-separated, names are
// taken as they are. A NUL in a line would cut the name the library is
// given short of the one the output is named from: such a list is refused.
int ReadList(const Text& list, bool nulSeparated, std::vector<Text>& names) {
    std::string bytes;
    if (!ReadWhole(list, bytes)) return Fail(ExitUsage, "cannot read the list '" + Narrow(list) + "'");
    std::string why;
    if (!DecodeList(bytes, why)) return Fail(ExitUsage, "the list '" + Narrow(list) + "' " + why);
    const char separator = nulSeparated ? '\0' : '\n';
    const size_t firstNul = nulSeparated ? std::string::npos : bytes.find('\0');
    size_t line = 1;
    for (size_t start = 0; start < bytes.size(); ++line) {
        size_t end = bytes.find(separator, start);
        if (end == std::string::npos) end = bytes.size();
        size_t stop = end;
        if (!nulSeparated && stop > start && bytes[stop - 1] == '\r') --stop;
        if (firstNul < end)
            return Fail(ExitUsage, "the list '" + Narrow(list) + "' has a NUL in line " + std::to_string(line) +
                                       " (-0 reads a NUL-separated list)");
        if (stop > start) {
            Text name;
            if (!FromUtf8(bytes.substr(start, stop - start), name))
                return Fail(ExitUsage, "the list '" + Narrow(list) + "' holds a name that is not UTF-8");
            names.push_back(name);
        }
        start = end + 1;
    }
    return ExitWritten;
}

// Every group of names whose keys are the same, named in the order given
// and followed by what `says(its first name, its size)`, groups joined by
// "; "; empty when there is none.
template <typename Key, typename Less, typename Same, typename Says>
std::string NameGroups(const std::vector<Text>& names, const std::vector<Key>& keys, Less less, Same same,
                       Says says) {
    std::vector<size_t> order(names.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return less(keys[a], keys[b]); });
    std::string line;
    for (size_t i = 0; i < order.size();) {
        size_t j = i + 1;
        while (j < order.size() && same(keys[order[i]], keys[order[j]])) ++j;
        if (j - i > 1) {
            std::sort(order.begin() + static_cast<std::ptrdiff_t>(i), order.begin() + static_cast<std::ptrdiff_t>(j));
            if (!line.empty()) line += "; ";
            for (size_t k = i; k < j; ++k)
                line += (k == i ? "'" : k + 1 == j ? " and '" : ", '") + Narrow(names[order[k]]) + "'";
            line += says(order[i], j - i);
        }
        i = j;
    }
    return line;
}

// Inputs that would be written to one name in `dir` (ending in a separator).
int RefuseSharedNames(const std::vector<Text>& names, const Text& dir) {
    std::vector<Text> own(names.size());
    for (size_t i = 0; i < names.size(); ++i) own[i] = names[i].substr(OwnNameStart(names[i]));
    const std::string line = NameGroups(names, own, OwnNameLess, SameOwnName, [&](size_t first, size_t count) {
        return (count == 2 ? " would both be written to '" : " would all be written to '") +
               Narrow(dir + own[first]) + "'";
    });
    return line.empty() ? ExitWritten : Fail(ExitUsage, line);
}

// The file each name stands for, once for every check that asks.
using FileKey = std::tuple<bool, uint64_t, uint64_t>;  // known, volume, index

FileKey KeyOf(const Text& name) {
    FileId id;
    return IdentifyFile(name, id) ? FileKey{true, id.volume, id.index} : FileKey{};
}

// Inputs that are one file under two names (links, ".."): it would be turned
// once for each. A name that names no file fails later, on its own.
int RefuseSharedFiles(const std::vector<Text>& names, const std::vector<FileKey>& keys) {
    const auto same = [](const FileKey& a, const FileKey& b) { return std::get<0>(a) && a == b; };
    const std::string line = NameGroups(names, keys, std::less<FileKey>(), same, [](size_t, size_t count) {
        return std::string(count == 2 ? " are one file" : " are all one file");
    });
    return line.empty() ? ExitWritten : Fail(ExitUsage, line);
}

// Outputs that are already files of the batch, through links, ".." or hard
// links: another picture's input, which would be lost before it is read, or
// another picture's output, which would be written twice. A picture turned
// into its own file is what was asked for.
int RefuseOverlaps(const std::vector<BatchPicture>& pictures, const std::vector<FileKey>& inputKeys) {
    std::map<FileKey, size_t> inputs, outputs;
    for (size_t i = 0; i < pictures.size(); ++i)
        if (std::get<0>(inputKeys[i])) inputs.emplace(inputKeys[i], i);
    for (size_t i = 0; i < pictures.size(); ++i) {
        const FileKey key = KeyOf(pictures[i].output);
        if (!std::get<0>(key)) continue;
        const auto input = inputs.find(key);
        if (input != inputs.end() && input->second != i)
            return Fail(ExitUsage, "'" + Narrow(pictures[i].output) + "' is the input '" +
                                       Narrow(pictures[input->second].input) + "'");
        const auto output = outputs.emplace(key, i);
        if (!output.second)
            return Fail(ExitUsage, "'" + Narrow(pictures[output.first->second].output) + "' and '" +
                                       Narrow(pictures[i].output) + "' are one file");
    }
    return ExitWritten;
}

}  // namespace

bool IsBatchOption(const Text& arg) {
    Text value;
    bool attached = false;
    return OptionOf(arg, value, attached) != '\0';
}

int ReadBatchArguments(const std::vector<Text>& args, BatchPlan& plan) {
    Options o;
    if (const int status = ReadOptions(args, o)) return status;
    if (!o.haveAngle) return Fail(ExitUsage, "no ANGLE: -a ANGLE is needed");
    if (!o.haveDir) return Fail(ExitUsage, "no DIR: -d DIR is needed");
    if (!ParseAngle(Narrow(o.angle).c_str(), plan.angle))
        return Fail(ExitUsage, "ANGLE must be a whole number from -2147483648 to 2147483647, not '" +
                                   Narrow(o.angle) + "'");
    plan.jobs = ProcessorsOnline();
    if (o.haveJobs && !ParseJobs(Narrow(o.jobs), plan.jobs))
        return Fail(ExitUsage, "N must be a positive whole number, not '" + Narrow(o.jobs) + "'");
    plan.quiet = o.quiet;
    plan.noClobber = o.noClobber;
    for (const Text& list : o.lists)
        if (const int status = ReadList(list, o.nulSeparated, o.names)) return status;
    if (o.names.empty()) return Fail(ExitUsage, "no pictures given");
    if (!IsFolder(o.dir)) return Fail(ExitUsage, "DIR '" + Narrow(o.dir) + "' is not an existing folder");
    for (const Text& name : o.names)
        if (OwnNameStart(name) == name.size() || name.substr(OwnNameStart(name)) == Text(1, '.') ||
            name.substr(OwnNameStart(name)) == Text(2, '.'))
            return Fail(ExitUsage, "'" + Narrow(name) + "' does not name a file");
    Text dir = o.dir;
    if (OwnNameStart(dir) != dir.size()) dir += kSeparator;
    if (const int status = RefuseSharedNames(o.names, dir)) return status;
    std::vector<FileKey> keys;
    keys.reserve(o.names.size());
    for (const Text& name : o.names) keys.push_back(KeyOf(name));
    if (const int status = RefuseSharedFiles(o.names, keys)) return status;
    plan.pictures.reserve(o.names.size());
    for (const Text& name : o.names) {
        const BatchPicture picture{name, dir + name.substr(OwnNameStart(name))};
        if (picture.input.size() > kMaxNameUnits || picture.output.size() > kMaxNameUnits)
            return Fail(ExitUsage, "'" + Shown(name) + "' is too long a name");
        plan.pictures.push_back(picture);
    }
    return RefuseOverlaps(plan.pictures, keys);
}

}  // namespace host
