// SPDX-License-Identifier: MIT
// sabrel-hive dump: the logical content of a hive, one line per key and per
// value, in the order a reader enumerates them (depth first, keys before
// their subkeys, siblings and values in stored order):
//   K "<path>" subkeys=N values=N
//   V "<path>" "<value name>" type=0x%08x size=N data=<hex>
//   # keys=N values=N
// Paths join key names with '\' below the root, whose path is "". Names are
// decoded from the code page to UTF-8 inside JSON string quotes; bytes that do
// not decode become U+FFFD. Keys without a record show with an empty name.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/text_conversion.h"
#include "creg/creg_reader.h"
#include "creg/creg_tree.h"
#include "platform/platform.h"
#include "programs/sabrel-hive/commands.h"
#include "programs/sabrel-hive/host_hive.h"

namespace sabrel::tool {

namespace {

constexpr char kDumpUsage[] =
    "usage: sabrel-hive dump [--codepage N] FILE\n"
    "\n"
    "Prints every key and value of a Windows 95/98/Me hive file in stored order:\n"
    "  K \"<path>\" subkeys=N values=N\n"
    "  V \"<path>\" \"<name>\" type=0x........ size=N data=<hex>\n"
    "and a closing line \"# keys=N values=N\". Names are shown in UTF-8.\n"
    "A hive that the checker does not pass (a status other than 0, or ghost keys)\n"
    "is dumped as far as it can be read, after a warning on standard error.\n"
    "\n"
    "options:\n"
    "  --codepage N   code page of the names (default 932)\n"
    "  -h, --help     show this help\n"
    "\n"
    "exit status: 0 dumped, 1 the file is unreadable or not a valid hive, 2 usage error.\n";

// Names in a code page, shown in UTF-8.
class Decoder {
  public:
    explicit Decoder(unsigned codePage) : charset_("CP" + std::to_string(codePage)) {}
    // False when the code page is unknown to the converter.
    bool ok() const {
        std::string ignored;
        return ConvertText(charset_, "UTF-8", std::string(), &ignored);
    }

    // U+FFFD stands for each byte that does not decode.
    std::string Utf8(const std::uint8_t* p, std::size_t n) const {
        std::string out;
        ConvertText(charset_, "UTF-8", std::string(reinterpret_cast<const char*>(p), n), &out,
                    BadInput::kReplaceByte, "\xEF\xBF\xBD");
        return out;
    }

  private:
    std::string charset_;
};

std::string Quote(const std::string& utf8) {
    std::string s = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            s += buf;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + "\"";
}

}  // namespace

int CmdDump(int argc, char** argv) {
    unsigned codePage = 932;
    const char* file = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            std::fputs(kDumpUsage, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--codepage")) {
            char* end = nullptr;
            unsigned long n = i + 1 < argc ? std::strtoul(argv[i + 1], &end, 10) : 0;
            if (!n || *end || n > 65535) {
                std::fprintf(stderr, "sabrel-hive dump: bad code page\n\n%s", kDumpUsage);
                return 2;
            }
            codePage = static_cast<unsigned>(n);
            ++i;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            std::fprintf(stderr, "sabrel-hive dump: unknown option %s\n\n%s", argv[i], kDumpUsage);
            return 2;
        } else if (file) {
            std::fprintf(stderr, "sabrel-hive dump: only one file\n\n%s", kDumpUsage);
            return 2;
        } else {
            file = argv[i];
        }
    }
    if (!file) {
        std::fprintf(stderr, "sabrel-hive dump: no file\n\n%s", kDumpUsage);
        return 2;
    }
    Decoder dec(codePage);
    if (!dec.ok()) {
        std::fprintf(stderr, "sabrel-hive dump: code page %u is not supported\n", codePage);
        return 2;
    }
    std::vector<std::uint8_t> image;
    std::string error;
    const ReadResult read = ReadHostFile(file, &image, &error);
    if (read != ReadResult::kOk) {
        std::fprintf(stderr, "sabrel-hive dump: %s: %s\n", file,
                     read == ReadResult::kNoFile     ? "no such file"
                     : read == ReadResult::kTooLarge ? "too large for a hive"
                                                     : ("cannot read: " + error).c_str());
        return 1;
    }
    // The loader reads what it can reach; on a hive that the checker does not
    // pass, that may be a small part of it.
    Verdict verdict;
    if (CheckImage(image, codePage, &verdict) && !verdict.Passes()) {
        std::fprintf(stderr,
                     "sabrel-hive dump: warning: %s: the checker does not pass this hive (%s); "
                     "what follows may be incomplete\n",
                     file, verdict.Text().c_str());
    }
    hive::CregTree tree;
    const platform::DWORD code = hive::LoadHive(std::move(image), &tree);
    if (code) {
        std::fprintf(stderr, "sabrel-hive dump: %s: cannot load the hive (error %u)\n", file, code);
        return 1;
    }

    // Depth-first pre-order with the path of every key on a stack.
    std::uint64_t keys = 0, values = 0;
    std::vector<std::pair<std::uint32_t, std::string>> stack{{0, ""}};
    std::vector<std::uint32_t> children;
    while (!stack.empty()) {
        auto [k, path] = std::move(stack.back());
        stack.pop_back();
        const hive::CregKey& key = tree.Key(k);
        children.clear();
        for (std::uint32_t c = key.firstChild; c != hive::kNoKey; c = tree.Key(c).nextSibling) {
            children.push_back(c);
        }
        std::string quoted = Quote(path);
        std::printf("K %s subkeys=%zu values=%u\n", quoted.c_str(), children.size(),
                    key.valueCount);
        ++keys;
        hive::CregTree::ValueReader reader = tree.Values(key);
        for (hive::CregValue v; reader.Next(&v);) {
            std::string name = Quote(dec.Utf8(tree.Name(v), v.nameLength));
            std::printf("V %s %s type=0x%08x size=%u data=", quoted.c_str(), name.c_str(), v.type,
                        v.dataLength);
            const std::uint8_t* d = tree.Data(v);
            for (std::uint32_t j = 0; j < v.dataLength; ++j) std::printf("%02x", d[j]);
            std::putchar('\n');
            ++values;
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            const hive::CregKey& c = tree.Key(*it);
            std::string name = dec.Utf8(tree.Name(c), c.nameLength);
            stack.emplace_back(*it, path.empty() ? name : path + "\\" + name);
        }
    }
    std::printf("# keys=%llu values=%llu\n", static_cast<unsigned long long>(keys),
                static_cast<unsigned long long>(values));
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace sabrel::tool
