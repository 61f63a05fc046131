// SPDX-License-Identifier: MIT
#include "tests/registry/compact_form.h"

#include <map>
#include <set>

#include "common/byte_reader.h"

namespace sabrel::test {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

std::uint32_t U32(const std::vector<std::uint8_t>& f, std::size_t o) {
    return ByteReader::LoadU32(f.data() + o);
}
std::uint16_t U16(const std::vector<std::uint8_t>& f, std::size_t o) {
    return ByteReader::LoadU16(f.data() + o);
}

// Slot k of the grid: 291 slots in the first 8 KiB, 146 in each later 4 KiB.
std::uint32_t Slot(std::uint32_t k) {
    if (k < 291) return 0x20 + 28 * k;
    k -= 291;
    return 0x2000 + 0x1000 * (k / 146) + 28 * (k % 146);
}

#define REQUIRE(cond, what) \
    if (!(cond)) return what

}  // namespace

std::string CheckCompactForm(const std::vector<std::uint8_t>& f) {
    REQUIRE(f.size() >= 0x40, "file too short");
    REQUIRE(std::string(f.begin(), f.begin() + 4) == "CREG", "no CREG");
    REQUIRE(U32(f, 4) == 0x00010000, "CREG version");
    REQUIRE((U16(f, 0x12) & 4) == 0 && U32(f, 0x0C) == 0, "checksum bit or checksum");
    REQUIRE(U32(f, 0x18) == 0 && U32(f, 0x1C) == 0, "CREG reserved words");
    std::uint32_t area = U32(f, 0x24);
    REQUIRE(std::string(f.begin() + 0x20, f.begin() + 0x24) == "RGKN", "no RGKN");
    REQUIRE(area >= 0x2000 && area % 0x1000 == 0, "RGKN size not 0x2000 + n * 0x1000");
    REQUIRE(U32(f, 8) == 0x20 + area, "rgdb_offset != 0x20 + RGKN size");
    REQUIRE(U32(f, 0x28) == 0x20, "root offset");
    REQUIRE((U32(f, 0x30) & 4) == 0 && U32(f, 0x34) == 0, "RGKN checksum");
    const std::size_t base = 0x20;

    // Entries: pre-order from slot 0 on, links exact.
    std::vector<std::uint32_t> order;  // slot offsets in pre-order
    std::map<std::uint32_t, std::uint32_t> parentOf;
    std::vector<std::uint32_t> stack{0x20};
    parentOf[0x20] = kNone;
    std::set<std::uint32_t> seen;
    while (!stack.empty()) {
        std::uint32_t e = stack.back();
        stack.pop_back();
        REQUIRE(e + 28 <= area - 0x20, "entry past what libcreg maps");
        REQUIRE(seen.insert(e).second, "entry reached twice");
        REQUIRE(Slot(static_cast<std::uint32_t>(order.size())) == e,
                "entries not in pre-order on the grid");
        order.push_back(e);
        REQUIRE(U32(f, base + e) == 0, "in_use != 0");
        REQUIRE(U32(f, base + e + 8) == kNone, "+0x08 != 0xFFFFFFFF");
        REQUIRE(U32(f, base + e + 12) == parentOf[e], "parent link");
        std::vector<std::uint32_t> kids;
        for (std::uint32_t c = U32(f, base + e + 16); c != kNone; c = U32(f, base + c + 20)) {
            REQUIRE(c < area && kids.size() < 1000000, "child link out of the area");
            kids.push_back(c);
            parentOf[c] = e;
        }
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(*it);
    }
    REQUIRE(U32(f, base + 0x20 + 20) == kNone, "root has a sibling");
    std::uint32_t tail = Slot(static_cast<std::uint32_t>(order.size()));
    REQUIRE(U32(f, base + 0x0C) == tail, "free_offset is not the slot after the last key");
    REQUIRE(U32(f, base + tail) == 0x80000000u && U32(f, base + tail + 4) == area - tail &&
                U32(f, base + tail + 8) == kNone,
            "tail free slot");
    REQUIRE(area == 0x2000 || Slot(static_cast<std::uint32_t>(order.size())) >= area - 0x1000,
            "RGKN larger than needed");
    for (std::uint32_t x = tail + 12; x < area; ++x)
        REQUIRE(f[base + x] == 0, "stale bytes in RGKN");

    // Blocks: back to back to EOF, records in pre-order with ids 0, 1, 2...
    std::uint16_t count = U16(f, 0x10);
    std::size_t pos = 0x20 + area;
    std::size_t next = 0;  // index into order of the next key expected to own a record
    // The previous block's header and records, and its record count: a block
    // is only closed when the next record would not fit or its ids are used up.
    std::uint64_t previousContent = 0;
    std::uint32_t previousIds = 0;
    for (std::uint16_t b = 0; b < count; ++b) {
        REQUIRE(pos + 0x20 <= f.size(), "block header past EOF");
        REQUIRE(std::string(f.begin() + pos, f.begin() + pos + 4) == "RGDB", "no RGDB");
        std::uint32_t size = U32(f, pos + 4);
        REQUIRE(size % 0x1000 == 0 && pos + size <= f.size(), "block size");
        REQUIRE(U16(f, pos + 0x0E) == b, "block number");
        REQUIRE((U16(f, pos + 0x0C) & 4) == 0 && U32(f, pos + 0x18) == 0 && U32(f, pos + 0x1C) == 0,
                "block flags or stale words");
        std::uint32_t x = 0x20, id = 0, freeBytes = 0, freeAt = kNone, content = 0x20;
        while (x < size) {
            REQUIRE(size - x >= 20, "1-19 bytes left in a block");
            std::uint32_t len = U32(f, pos + x);
            REQUIRE(len >= 20 && len <= size - x, "record length");
            if (U16(f, pos + x + 4) == 0xFFFF) {
                REQUIRE(x + len == size && freeAt == kNone, "free record not the block's tail");
                REQUIRE(U16(f, pos + x + 6) == 0xFFFF && U32(f, pos + x + 8) == kNone,
                        "free record");
                REQUIRE(len < 0x1000, "tail free record of a page or more");
                freeBytes = len;
                freeAt = x;
            } else {
                REQUIRE(U16(f, pos + x + 4) == id, "record ids not 0, 1, 2...");
                REQUIRE(U16(f, pos + x + 6) == b, "record +0x06 != block");
                REQUIRE(U32(f, pos + x + 0x10) == 0, "record +0x10 != 0");
                std::uint32_t used = 20 + U16(f, pos + x + 12);
                for (std::uint16_t v = 0; v < U16(f, pos + x + 14); ++v) {
                    used += 12 + U16(f, pos + x + used + 8) + U16(f, pos + x + used + 10);
                }
                REQUIRE(U32(f, pos + x + 8) == used, "used size not exact");
                bool lastInBlock = x + len == size;
                REQUIRE(len == used || (lastInBlock && len - used < 20), "slack in a record");
                REQUIRE(b == 0 || id > 0 || previousIds == 255 || previousContent + used > 0xF000,
                        "block closed before it was as full as allowed");
                content += used;
                // This record belongs to the next key in pre-order that has one.
                while (next < order.size() && U16(f, base + order[next] + 24) == 0xFFFF) ++next;
                REQUIRE(next < order.size(), "record without key");
                REQUIRE(
                    U16(f, base + order[next] + 24) == id && U16(f, base + order[next] + 26) == b,
                    "records not in key pre-order");
                ++next;
                ++id;
            }
            x += len;
        }
        REQUIRE(id <= 255, "more than 255 records in a block");
        REQUIRE(U32(f, pos + 8) == freeBytes && U32(f, pos + 0x10) == freeAt,
                "unused size / free offset");
        REQUIRE(U16(f, pos + 0x14) == (id ? id - 1 : 0) && U16(f, pos + 0x16) == id,
                "max id / first free id");
        // A block is cut where the next record would carry it past 0xF000 bytes.
        REQUIRE(size - freeBytes <= 0xF000 || id == 1, "block over 0xF000 bytes");
        REQUIRE(content <= 0xF000 || id == 1, "records over 0xF000 bytes");
        previousContent = content;
        previousIds = id;
        pos += size;
    }
    while (next < order.size() && U16(f, base + order[next] + 24) == 0xFFFF) ++next;
    REQUIRE(next == order.size(), "key without record");
    REQUIRE(pos == f.size(), "bytes after the last block");
    return "";
}

}  // namespace sabrel::test
