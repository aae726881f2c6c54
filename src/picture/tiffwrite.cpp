#include "tiffwrite.h"

#include <algorithm>

void appendUnsigned(std::vector<uint8_t>& out, uint32_t value, int bytes, bool littleEndian) {
    for (int i = 0; i < bytes; ++i) {
        const int shift = 8 * (littleEndian ? i : bytes - 1 - i);
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void CTiffDirectory::add(uint16_t tag, uint16_t type, uint32_t count, int componentBytes,
                         std::vector<uint32_t> components) {
    mEntries.push_back({tag, type, count, componentBytes, std::move(components)});
}

void CTiffDirectory::ascii(uint16_t tag, const std::string& text) {
    std::vector<uint32_t> bytes(text.begin(), text.end());
    for (uint32_t& byte : bytes)
        byte &= 0xFF;
    bytes.push_back(0);
    const uint32_t count = uint32_t(bytes.size());
    add(tag, Ascii, count, 1, std::move(bytes));
}

void CTiffDirectory::shortValue(uint16_t tag, uint16_t value) {
    add(tag, Short, 1, 2, {value});
}

void CTiffDirectory::longValue(uint16_t tag, uint32_t value) {
    add(tag, Long, 1, 4, {value});
}

void CTiffDirectory::rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
    add(tag, Rational, 1, 4, {numerator, denominator});
}

void CTiffDirectory::srational(uint16_t tag, int32_t numerator, int32_t denominator) {
    add(tag, SRational, 1, 4, {uint32_t(numerator), uint32_t(denominator)});
}

void CTiffDirectory::undefined(uint16_t tag, const std::vector<uint8_t>& bytes) {
    add(tag, Undefined, uint32_t(bytes.size()), 1,
        std::vector<uint32_t>(bytes.begin(), bytes.end()));
}

void CTiffDirectory::setLong(uint16_t tag, uint32_t value) {
    for (SEntry& entry : mEntries) {
        if (entry.mTag == tag && entry.mType == Long && entry.mCount == 1)
            entry.mComponents[0] = value;
    }
}

size_t CTiffDirectory::valueBytes(const SEntry& entry) {
    return entry.mComponents.size() * size_t(entry.mComponentBytes);
}

size_t CTiffDirectory::byteSize() const {
    size_t size = 2 + 12 * mEntries.size() + 4;
    for (const SEntry& entry : mEntries) {
        const size_t bytes = valueBytes(entry);
        if (bytes > 4)
            size += bytes + (bytes & 1);
    }
    return size;
}

void CTiffDirectory::write(std::vector<uint8_t>& out, size_t origin, bool littleEndian,
                           uint32_t next) const {
    // Readers expect the entries in ascending tag order.
    std::vector<const SEntry*> sorted;
    for (const SEntry& entry : mEntries)
        sorted.push_back(&entry);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SEntry* a, const SEntry* b) { return a->mTag < b->mTag; });

    const size_t start = out.size();
    size_t data = start - origin + 2 + 12 * sorted.size() + 4;
    std::vector<uint8_t> values;
    appendUnsigned(out, uint32_t(sorted.size()), 2, littleEndian);
    for (const SEntry* entry : sorted) {
        std::vector<uint8_t> value;
        for (uint32_t component : entry->mComponents)
            appendUnsigned(value, component, entry->mComponentBytes, littleEndian);
        appendUnsigned(out, entry->mTag, 2, littleEndian);
        appendUnsigned(out, entry->mType, 2, littleEndian);
        appendUnsigned(out, entry->mCount, 4, littleEndian);
        if (value.size() <= 4) {
            // Short values sit left-justified in the entry's four bytes.
            value.resize(4, 0);
            out.insert(out.end(), value.begin(), value.end());
        } else {
            appendUnsigned(out, uint32_t(data + values.size()), 4, littleEndian);
            values.insert(values.end(), value.begin(), value.end());
            if (value.size() & 1)
                values.push_back(0);
        }
    }
    appendUnsigned(out, next, 4, littleEndian);
    out.insert(out.end(), values.begin(), values.end());
}
