// SPDX-License-Identifier: MIT
// The logical content of a Windows 9x registry hive: a tree of keys, each with
// its name bytes, its stored name hash and its values, in source order.
//
// Names and value data live in one byte pool and are referenced by offset, so
// a tree loaded from a file can keep the file image as its pool and costs only
// a few dozen bytes per key on top: a loaded key's values stay where the file
// has them and are read from there. The pool is either bytes the tree owns or
// a read-only image shared with its owner (a mapped file); the first bytes
// added to a tree on a shared image copy the image into bytes of its own.
// Key 0 is always the root. Children are kept in sibling order (the order in
// which a reader enumerates them); values of a key are contiguous.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sabrel::hive {

constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;

struct CregValue {
    std::uint32_t type = 0;
    std::uint32_t unknown = 0;  // dword +0x04 of the value entry, kept verbatim
    std::uint32_t nameOffset = 0;
    std::uint32_t dataOffset = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t dataLength = 0;
};

// 32 bytes, as a loaded tree holds one per key beside the file image.
struct CregKey {
    std::uint32_t hash = 0;  // as stored in the key entry, never recomputed
    std::uint32_t nameOffset = 0;
    // The first value in the value list; or, when valuesInPool, the number of
    // bytes the name and the values take in the pool (see BodyInPool).
    std::uint32_t valuesAt = 0;
    std::uint32_t valueCount = 0;
    std::uint32_t parent = kNoKey;
    std::uint32_t firstChild = kNoKey;
    std::uint32_t nextSibling = kNoKey;
    std::uint16_t nameLength = 0;
    // False for an entry without record (block/id 0xFFFF): no name, no values.
    bool hasRecord = false;
    // Set by a loader: the values were checked where they lie in the pool,
    // right after the name, and are read from there rather than kept in the
    // value list.
    bool valuesInPool = false;

    std::uint32_t FirstValue() const { return valuesInPool ? 0 : valuesAt; }
    // Set by a loader: the name and the values lie in the pool from
    // nameOffset on exactly as a key record lays them out, this many bytes
    // (0: not known). Lets a writer copy the body in one piece.
    std::uint32_t BodyInPool() const { return valuesInPool ? valuesAt : 0; }
};
static_assert(sizeof(CregKey) == 32, "a key costs 32 bytes");

// Header words that a rebuild copies from the source file. The defaults are
// those of Windows 98/Me files.
struct CregFlags {
    std::uint16_t creg = 0x0020;
    std::uint32_t cregUnknown = 0x00010000;
    std::uint32_t rgkn = 0x0008;
    std::uint16_t rgdb = 0x0008;
};

class CregTree {
  public:
    // A tree holding only a root entry without record.
    CregTree();
    // Same, with `pool` as the initial byte pool (e.g. a file image).
    explicit CregTree(std::vector<std::uint8_t> pool);
    // Same, with the `size` bytes at `image` as the initial pool, read in
    // place and kept alive by the tree for as long as it refers to them.
    CregTree(std::shared_ptr<const std::uint8_t> image, std::size_t size);

    std::size_t KeyCount() const { return keys_.size(); }
    std::size_t ValueCount() const { return values_.size(); }
    const CregKey& Key(std::uint32_t k) const { return keys_[k]; }
    CregKey& MutableKey(std::uint32_t k) { return keys_[k]; }
    const CregValue& Value(std::uint32_t v) const { return values_[v]; }

    // Reads the values of a key in order, from the value list or, for a key
    // whose values stayed in the pool, from there.
    class ValueReader {
      public:
        ValueReader(const CregTree& tree, const CregKey& key);
        // The next value; false after the last.
        bool Next(CregValue* value);

      private:
        const CregTree& tree_;
        const CregKey& key_;
        std::uint32_t index_ = 0;
        std::uint64_t at_ = 0;  // in the pool: where the next value entry starts
    };
    ValueReader Values(const CregKey& k) const { return ValueReader(*this, k); }
    const std::uint8_t* PoolData() const { return image_ ? image_.get() : pool_.data(); }
    std::size_t PoolSize() const { return image_ ? imageSize_ : pool_.size(); }

    const std::uint8_t* Name(const CregKey& k) const { return PoolData() + k.nameOffset; }
    const std::uint8_t* Name(const CregValue& v) const { return PoolData() + v.nameOffset; }
    const std::uint8_t* Data(const CregValue& v) const { return PoolData() + v.dataOffset; }
    std::string NameString(const CregKey& k) const;
    std::string NameString(const CregValue& v) const;

    // Appends bytes to the pool and returns their offset.
    std::uint32_t AddBytes(const void* data, std::size_t length);
    // Appends a key with a record as the last child of `parent`. The name is
    // stored as given; `hash` is what the key entry will hold.
    std::uint32_t AddKey(std::uint32_t parent, const std::string& name, std::uint32_t hash);
    // Same, for name bytes already in the pool.
    std::uint32_t AddKeyRef(std::uint32_t parent, std::uint32_t nameOffset,
                            std::uint16_t nameLength, std::uint32_t hash, bool hasRecord);
    // For loaders: appends a key under `parent` right after its child `prev`,
    // which must be its last child (kNoKey: it has none yet). Its name and
    // values follow with SetPoolValues.
    std::uint32_t AddKeyAfter(std::uint32_t parent, std::uint32_t prev, std::uint32_t hash,
                              bool hasRecord);
    // The last child of `k`; kNoKey when it has none.
    std::uint32_t LastChild(std::uint32_t k) const;
    // Appends a value to key `k`, which must be the most recently created key
    // or the most recent one to receive values (values of a key are contiguous).
    // False when that rule is broken.
    bool AddValue(std::uint32_t k, std::uint32_t type, std::uint32_t unknown,
                  const std::string& name, const std::string& data);
    bool AddValueRef(std::uint32_t k, const CregValue& value);

    // For loaders: key `k` has the name at `nameOffset` and `count` values
    // that lie in the pool after it, `bodyInPool` bytes with the name, as
    // checked by the loader.
    void SetPoolValues(std::uint32_t k, std::uint32_t nameOffset, std::uint16_t nameLength,
                       std::uint32_t count, std::uint32_t bodyInPool);
    void ReserveKeys(std::size_t n) { keys_.reserve(n); }
    void ReserveValues(std::size_t n) { values_.reserve(n); }

    // Direct child of `k` whose name equals `name` without regard to ASCII
    // case; kNoKey when there is none.
    std::uint32_t FindChild(std::uint32_t k, const std::string& name) const;
    // Key at a backslash-separated path below `k`; kNoKey when missing.
    std::uint32_t FindPath(std::uint32_t k, const std::string& path) const;
    // Value of `k` by name, without regard to ASCII case, into *value; false
    // if missing.
    bool FindValue(std::uint32_t k, const std::string& name, CregValue* value) const;

    CregFlags flags;

  private:
    std::shared_ptr<const std::uint8_t> image_;  // null: the pool is pool_
    std::size_t imageSize_ = 0;
    std::vector<std::uint8_t> pool_;
    std::vector<CregKey> keys_;
    std::vector<CregValue> values_;
    // The last child of every key, kept once keys are added by AddKeyRef (so
    // that appending a child costs no walk of its siblings); empty until then.
    std::vector<std::uint32_t> lastChild_;
};

// The key-name hash that Windows stores: the sum of the name bytes below
// 0x80, letters a-z counted as their capitals. Bytes from 0x80 up are left
// out; a name with such bytes keeps the hash its source file gives it.
std::uint32_t AsciiNameHash(const std::uint8_t* name, std::size_t length);

}  // namespace sabrel::hive
