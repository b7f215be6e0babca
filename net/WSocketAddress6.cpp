// SPDX-License-Identifier: MIT
#include "net/WSocketAddress6.h"

#include <cstddef>

namespace {

// "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255"; groups have at most four digits, so no
// valid text is longer.
constexpr std::size_t kMaxAddressText = 45;

int HexValue(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

// Four decimal numbers 0..255 joined by dots, nothing else: no leading zeros (they would
// read as octal elsewhere), no blanks, no trailing dot.
bool ParseDottedTail(std::string_view Text, std::uint8_t (&Out)[4])
{
    std::size_t I = 0;
    for (int Part = 0; Part < 4; ++Part) {
        if (Part > 0) {
            if (I >= Text.size() || Text[I] != '.')
                return false;
            ++I;
        }
        const std::size_t Start = I;
        unsigned Value = 0;
        while (I < Text.size() && Text[I] >= '0' && Text[I] <= '9' && I - Start < 3)
            Value = Value * 10 + static_cast<unsigned>(Text[I++] - '0');
        const std::size_t Digits = I - Start;
        if (Digits == 0 || Value > 255 || (Digits > 1 && Text[Start] == '0'))
            return false;
        Out[Part] = static_cast<std::uint8_t>(Value);
    }
    return I == Text.size();
}

} // namespace

bool WSocketParseAddress6(std::string_view Text, TIpv6Bytes& Out)
{
    const std::size_t N = Text.size();
    if (N < 2 || N > kMaxAddressText)
        return false;
    std::uint16_t Groups[8] = {};
    int Count = 0;
    int Gap = -1; // the number of groups written before the "::"
    std::size_t I = 0;
    if (Text[0] == ':') {
        if (Text[1] != ':')
            return false;
        Gap = 0;
        I = 2;
    }
    while (I < N) {
        const std::size_t Start = I;
        unsigned Value = 0;
        while (I < N && HexValue(Text[I]) >= 0 && I - Start <= 4)
            Value = (Value << 4) | static_cast<unsigned>(HexValue(Text[I++]));
        const std::size_t Digits = I - Start;
        if (I < N && Text[I] == '.') {
            // The dotted tail fills the last two groups and ends the text.
            std::uint8_t Quad[4];
            if (Count > 6 || !ParseDottedTail(Text.substr(Start), Quad))
                return false;
            Groups[Count++] = static_cast<std::uint16_t>(Quad[0] << 8 | Quad[1]);
            Groups[Count++] = static_cast<std::uint16_t>(Quad[2] << 8 | Quad[3]);
            I = N;
            break;
        }
        if (Digits == 0 || Digits > 4 || Count == 8)
            return false;
        Groups[Count++] = static_cast<std::uint16_t>(Value);
        if (I == N)
            break;
        if (Text[I] != ':')
            return false;
        if (++I == N)
            return false; // a single colon at the end
        if (Text[I] == ':') {
            if (Gap >= 0)
                return false;
            Gap = Count;
            ++I;
        }
    }
    if (Gap < 0 ? Count != 8 : Count > 7)
        return false;

    TIpv6Bytes Bytes{};
    const int Tail = Gap < 0 ? 0 : Count - Gap; // groups after the "::"
    for (int G = 0; G < Count; ++G) {
        const int Slot = (Gap >= 0 && G >= Gap) ? 8 - Tail + (G - Gap) : G;
        Bytes[static_cast<std::size_t>(2 * Slot)] = static_cast<std::uint8_t>(Groups[G] >> 8);
        Bytes[static_cast<std::size_t>(2 * Slot + 1)] = static_cast<std::uint8_t>(Groups[G] & 0xFF);
    }
    Out = Bytes;
    return true;
}

bool WSocketIsMappedAddress6(const TIpv6Bytes& Address)
{
    for (std::size_t I = 0; I < 10; ++I) {
        if (Address[I] != 0)
            return false;
    }
    return Address[10] == 0xFF && Address[11] == 0xFF;
}

std::string WSocketFormatAddress6(const TIpv6Bytes& Address)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const bool Mapped = WSocketIsMappedAddress6(Address);
    const int Hex = Mapped ? 6 : 8; // groups written in hexadecimal
    std::uint16_t Groups[8];
    for (int G = 0; G < 8; ++G)
        Groups[G] = static_cast<std::uint16_t>(Address[static_cast<std::size_t>(2 * G)] << 8 |
                                               Address[static_cast<std::size_t>(2 * G + 1)]);

    int BestStart = -1, BestLength = 1; // a single zero group is never compressed
    for (int G = 0; G < Hex;) {
        if (Groups[G] != 0) {
            ++G;
            continue;
        }
        int End = G;
        while (End < Hex && Groups[End] == 0)
            ++End;
        if (End - G > BestLength) {
            BestStart = G;
            BestLength = End - G;
        }
        G = End;
    }

    std::string Text;
    Text.reserve(kMaxAddressText);
    for (int G = 0; G < Hex; ++G) {
        if (G == BestStart) {
            Text += "::";
            G += BestLength - 1;
            continue;
        }
        if (!Text.empty() && Text.back() != ':')
            Text += ':';
        bool Started = false;
        for (int Shift = 12; Shift >= 0; Shift -= 4) {
            const unsigned Digit = (Groups[G] >> Shift) & 0xF;
            if (Digit != 0 || Started || Shift == 0) {
                Text += kHex[Digit];
                Started = true;
            }
        }
    }
    if (Mapped) {
        // Mapped addresses have a zero run of 5 at the start, so Text is "::ffff" here.
        Text += ':';
        for (std::size_t I = 12; I < 16; ++I) {
            if (I > 12)
                Text += '.';
            Text += std::to_string(Address[I]);
        }
    }
    return Text;
}
