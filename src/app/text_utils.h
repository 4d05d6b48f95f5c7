// Text model and text operations shared by every subsystem.
//
// A Text is a std::string of code page 936 (GBK) bytes: lengths and positions count
// bytes, positions start at 1, -1 means "not found". A byte of 0x80 or more is a lead
// byte and pairs with the byte after it; searching, replacing, splitting and blank
// removal walk character by character, so a match only starts on a character boundary.
// Bytes is a counted byte sequence that may hold zero bytes.
//
// Optional arguments are std::optional: an absent argument is not the same as 0/false.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Text = std::string;
using Bytes = std::string;

// The program's own helpers.
Text TextBetween(const Text& source, const Text& leftMarker, const Text& rightMarker,
                 std::optional<int32_t> startPos = std::nullopt,
                 std::optional<bool> caseSensitive = std::nullopt);
Text TrimBlanks(Text& text);         // trims ASCII spaces in place, returns a copy
Bytes Base64DecodeText(Text& text);  // cleans the caller's variable, returns the bytes

// Common operations.
int32_t TextLength(const Text& text);
Text TextLeft(const Text& text, int32_t n);
Text TextRight(const Text& text, int32_t n);
Text TextMid(const Text& text, int32_t start, int32_t n);
int32_t FindText(const Text& text, const Text& sought, std::optional<int32_t> start = std::nullopt,
                 std::optional<bool> ignoreCase = std::nullopt);
int32_t FindTextReverse(const Text& text, const Text& sought,
                        std::optional<int32_t> start = std::nullopt,
                        std::optional<bool> ignoreCase = std::nullopt);
Text ReplaceText(const Text& text, const Text& sought,
                 std::optional<Text> replacement = std::nullopt,
                 std::optional<int32_t> start = std::nullopt,
                 std::optional<int32_t> count = std::nullopt,
                 std::optional<bool> caseSensitive = std::nullopt);
std::vector<Text> SplitText(const Text& text, std::optional<Text> separator = std::nullopt,
                            std::optional<int32_t> maxCount = std::nullopt);
Text RemoveSpaces(const Text& text);
Text TrimSpaces(const Text& text);
Text ToLowerCase(const Text& text);
Text ToUpperCase(const Text& text);
double TextToNumber(const Text& text);
int32_t TextToInt(const Text& text);
int16_t TextToShort(const Text& text);
Text NumberToText(int8_t value);
Text NumberToText(int16_t value);
Text NumberToText(int32_t value);
Text NumberToText(int64_t value);
Text NumberToText(float value);
Text NumberToText(double value);
Text BytesToText(const Bytes& bytes);
Bytes TextToBytes(const Text& text);
int32_t BytesLength(const Bytes& bytes);
Bytes BytesLeft(const Bytes& bytes, int32_t n);
Bytes BytesRight(const Bytes& bytes, int32_t n);
Bytes BytesMid(const Bytes& bytes, int32_t start, int32_t n);
int32_t FindBytes(const Bytes& bytes, const Bytes& sought,
                  std::optional<int32_t> start = std::nullopt);
int32_t CharCode(const Text& text, std::optional<int32_t> position = std::nullopt);
Text CharFromCode(uint8_t code);
Text BlankText(int32_t n);
Bytes BlankBytes(int32_t n);
