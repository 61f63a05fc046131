// SPDX-License-Identifier: MIT
#include "creg/creg_tree.h"

#include <cstring>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"

namespace sabrel::hive {

namespace {

std::uint8_t Upper(std::uint8_t b) {
    return (b >= 'a' && b <= 'z') ? b - 0x20 : b;
}

bool EqualNoCase(const std::uint8_t* a, std::size_t an, const char* b, std::size_t bn) {
    if (an != bn) return false;
    for (std::size_t i = 0; i < an; ++i) {
        if (Upper(a[i]) != Upper(static_cast<std::uint8_t>(b[i]))) return false;
    }
    return true;
}

}  // namespace

std::uint32_t AsciiNameHash(const std::uint8_t* name, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (name[i] < 0x80) sum += Upper(name[i]);
    }
    return sum;
}

CregTree::CregTree() : CregTree(std::vector<std::uint8_t>()) {}

CregTree::CregTree(std::vector<std::uint8_t> pool) : pool_(std::move(pool)) {
    keys_.emplace_back();
}

CregTree::CregTree(std::shared_ptr<const std::uint8_t> image, std::size_t size)
    : image_(std::move(image)), imageSize_(image_ ? size : 0) {
    keys_.emplace_back();
}

std::string CregTree::NameString(const CregKey& k) const {
    return std::string(reinterpret_cast<const char*>(Name(k)), k.nameLength);
}

std::string CregTree::NameString(const CregValue& v) const {
    return std::string(reinterpret_cast<const char*>(Name(v)), v.nameLength);
}

std::uint32_t CregTree::AddBytes(const void* data, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (image_) {
        // Offsets stay as they are: the image's bytes become the pool's first.
        std::vector<std::uint8_t> own(image_.get(), image_.get() + imageSize_);
        pool_.swap(own);
        image_.reset();
        imageSize_ = 0;
    }
    auto offset = static_cast<std::uint32_t>(pool_.size());
    pool_.insert(pool_.end(), p, p + length);
    return offset;
}

std::uint32_t CregTree::AddKeyRef(std::uint32_t parent, std::uint32_t nameOffset,
                                  std::uint16_t nameLength, std::uint32_t hash, bool hasRecord) {
    if (lastChild_.size() != keys_.size()) {
        lastChild_.assign(keys_.size(), kNoKey);
        for (std::uint32_t k = 1; k < keys_.size(); ++k) {
            if (keys_[k].nextSibling == kNoKey && keys_[k].parent != kNoKey) {
                lastChild_[keys_[k].parent] = k;
            }
        }
    }
    std::uint32_t k = AddKeyAfter(parent, lastChild_[parent], hash, hasRecord);
    keys_[k].nameOffset = nameOffset;
    keys_[k].nameLength = nameLength;
    keys_[k].valuesAt = static_cast<std::uint32_t>(values_.size());
    return k;
}

std::uint32_t CregTree::AddKeyAfter(std::uint32_t parent, std::uint32_t prev, std::uint32_t hash,
                                    bool hasRecord) {
    auto k = static_cast<std::uint32_t>(keys_.size());
    CregKey key;
    key.hash = hash;
    key.hasRecord = hasRecord;
    key.parent = parent;
    keys_.push_back(key);
    if (prev == kNoKey) {
        keys_[parent].firstChild = k;
    } else {
        keys_[prev].nextSibling = k;
    }
    if (!lastChild_.empty()) {
        lastChild_.push_back(kNoKey);
        lastChild_[parent] = k;
    }
    return k;
}

std::uint32_t CregTree::LastChild(std::uint32_t k) const {
    std::uint32_t last = keys_[k].firstChild;
    while (last != kNoKey && keys_[last].nextSibling != kNoKey) last = keys_[last].nextSibling;
    return last;
}

std::uint32_t CregTree::AddKey(std::uint32_t parent, const std::string& name, std::uint32_t hash) {
    std::uint32_t offset = AddBytes(name.data(), name.size());
    return AddKeyRef(parent, offset, static_cast<std::uint16_t>(name.size()), hash, true);
}

bool CregTree::AddValueRef(std::uint32_t k, const CregValue& value) {
    CregKey& key = keys_[k];
    if (key.valuesInPool) return false;
    if (key.valueCount == 0) {
        key.valuesAt = static_cast<std::uint32_t>(values_.size());
    } else if (key.valuesAt + key.valueCount != values_.size()) {
        return false;
    }
    values_.push_back(value);
    ++key.valueCount;
    return true;
}

void CregTree::SetPoolValues(std::uint32_t k, std::uint32_t nameOffset, std::uint16_t nameLength,
                             std::uint32_t count, std::uint32_t bodyInPool) {
    CregKey& key = keys_[k];
    key.nameOffset = nameOffset;
    key.nameLength = nameLength;
    key.valuesAt = bodyInPool;
    key.valueCount = count;
    key.valuesInPool = true;
}

CregTree::ValueReader::ValueReader(const CregTree& tree, const CregKey& key)
    : tree_(tree), key_(key), at_(std::uint64_t{key.nameOffset} + key.nameLength) {}

// Values in the pool were checked by the loader; the reads are bounded all the
// same, and a value that does not fit ends the list.
bool CregTree::ValueReader::Next(CregValue* value) {
    if (index_ >= key_.valueCount) return false;
    if (!key_.valuesInPool) {
        *value = tree_.values_[key_.valuesAt + index_++];
        return true;
    }
    namespace L = layout;
    const ByteReader r(tree_.PoolData(), tree_.PoolSize());
    std::uint8_t h[L::value::kSize];
    const auto at = static_cast<std::int64_t>(at_);
    if (r.Copy(at, h, sizeof h) < sizeof h) return false;
    CregValue v;
    v.type = ByteReader::LoadU32(h + L::value::kType);
    v.unknown = ByteReader::LoadU32(h + L::value::kUnknown04);
    v.nameLength = ByteReader::LoadU16(h + L::value::kNameLength);
    v.dataLength = ByteReader::LoadU16(h + L::value::kDataLength);
    const std::int64_t name = at + L::value::kSize;
    if (!r.Has(name, std::int64_t{v.nameLength} + v.dataLength)) return false;
    v.nameOffset = static_cast<std::uint32_t>(name);
    v.dataOffset = static_cast<std::uint32_t>(name + v.nameLength);
    at_ = static_cast<std::uint64_t>(name) + v.nameLength + v.dataLength;
    ++index_;
    *value = v;
    return true;
}

bool CregTree::AddValue(std::uint32_t k, std::uint32_t type, std::uint32_t unknown,
                        const std::string& name, const std::string& data) {
    if (name.size() > 0xFFFF || data.size() > 0xFFFF) return false;
    CregValue v;
    v.type = type;
    v.unknown = unknown;
    v.nameOffset = AddBytes(name.data(), name.size());
    v.nameLength = static_cast<std::uint16_t>(name.size());
    v.dataOffset = AddBytes(data.data(), data.size());
    v.dataLength = static_cast<std::uint16_t>(data.size());
    return AddValueRef(k, v);
}

std::uint32_t CregTree::FindChild(std::uint32_t k, const std::string& name) const {
    for (std::uint32_t c = keys_[k].firstChild; c != kNoKey; c = keys_[c].nextSibling) {
        const CregKey& child = keys_[c];
        if (child.hasRecord &&
            EqualNoCase(Name(child), child.nameLength, name.data(), name.size())) {
            return c;
        }
    }
    return kNoKey;
}

std::uint32_t CregTree::FindPath(std::uint32_t k, const std::string& path) const {
    std::size_t start = 0;
    while (k != kNoKey && start < path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) k = FindChild(k, path.substr(start, end - start));
        start = end + 1;
    }
    return k;
}

bool CregTree::FindValue(std::uint32_t k, const std::string& name, CregValue* value) const {
    ValueReader values(*this, keys_[k]);
    CregValue v;
    while (values.Next(&v)) {
        if (EqualNoCase(Name(v), v.nameLength, name.data(), name.size())) {
            *value = v;
            return true;
        }
    }
    return false;
}

}  // namespace sabrel::hive
