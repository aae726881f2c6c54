#pragma once
// One TIFF image file directory as a writer lays it out: the entry count, the entries
// sorted by tag, the link to the next directory, and the values that do not fit into
// an entry right after it. Exif blocks and Multi-Picture indexes are made of these.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CTiffDirectory {
public:
    enum EType : uint16_t {
        Byte = 1,
        Ascii = 2,
        Short = 3,
        Long = 4,
        Rational = 5,
        Undefined = 7,
        SRational = 10
    };

    // Zero-terminated text.
    void ascii(uint16_t tag, const std::string& text);
    void shortValue(uint16_t tag, uint16_t value);
    void longValue(uint16_t tag, uint32_t value);
    void rational(uint16_t tag, uint32_t numerator, uint32_t denominator);
    void srational(uint16_t tag, int32_t numerator, int32_t denominator);
    // Bytes written as they are, whatever the byte order.
    void undefined(uint16_t tag, const std::vector<uint8_t>& bytes);
    // Replaces the value of a LONG entry added before (a pointer whose target is
    // placed later); the directory's size does not change.
    void setLong(uint16_t tag, uint32_t value);

    bool empty() const { return mEntries.empty(); }
    // Bytes that write() appends: always even, so that what follows stays aligned.
    size_t byteSize() const;

    // Appends the directory to out. origin is the position in out of the TIFF header
    // that offsets count from; the directory must start at an even offset from it.
    // next is the offset of the next directory, 0 for none.
    void write(std::vector<uint8_t>& out, size_t origin, bool littleEndian, uint32_t next) const;

private:
    struct SEntry {
        uint16_t mTag;
        uint16_t mType;
        uint32_t mCount;
        int mComponentBytes;
        std::vector<uint32_t> mComponents;  // count x (1 or 2 for rationals) values
    };

    static size_t valueBytes(const SEntry& entry);
    void add(uint16_t tag, uint16_t type, uint32_t count, int componentBytes,
             std::vector<uint32_t> components);

    std::vector<SEntry> mEntries;
};

// Unsigned integer of 2 or 4 bytes in the given byte order, appended to out.
void appendUnsigned(std::vector<uint8_t>& out, uint32_t value, int bytes, bool littleEndian);
