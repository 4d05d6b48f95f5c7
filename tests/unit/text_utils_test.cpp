#include "app/text_utils.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

using std::nullopt;

// GBK bytes of a UTF-8 literal, so that the tables show the characters.
Text G(const char* utf8) {
  return Utf8ToGbkText(utf8);
}

// Double-byte characters whose trail byte is an ASCII character.
const Text kTrailBackslash = "\x81\x5C";  // 乗: trail byte 0x5C "\"
const Text kTrailUpperA = "\x81\x41";     // 丄: trail byte "A"
const Text kTrailLowerA = "\x81\x61";     // 乤: trail byte "a"

TEST(TextUtils, GbkTrailBytesAreWhatTheTablesAssume) {
  EXPECT_EQ(G("乗丄乤"), kTrailBackslash + kTrailUpperA + kTrailLowerA);
  EXPECT_EQ(G("：，　"), "\xA3\xBA\xA3\xAC\xA1\xA1");
}

struct FindCase {
  const char* name;
  Text text;
  Text sought;
  std::optional<int32_t> start;
  std::optional<bool> ignoreCase;
  int32_t forward;
};

TEST(TextUtils, FindTextWalksCharacterByCharacter) {
  const FindCase cases[] = {
      {"first match", "abcabc", "c", nullopt, nullopt, 3},
      {"start 0 is the first byte", "abcabc", "c", 0, nullopt, 3},
      {"start 1 is the first byte", "abcabc", "c", 1, nullopt, 3},
      {"negative start", "abcabc", "c", -5, nullopt, 3},
      {"start past the first match", "abcabc", "c", 4, nullopt, 6},
      {"start on the last byte", "abc", "c", 3, nullopt, 3},
      {"start one past the last byte", "abc", "c", 4, nullopt, -1},
      {"not found", "abc", "d", nullopt, nullopt, -1},
      {"sought longer than text", "ab", "abc", nullopt, nullopt, -1},
      {"empty sought", "abc", "", 3, nullopt, 1},
      {"empty sought past the end", "abc", "", 4, nullopt, -1},
      {"empty sought in empty text", "", "", nullopt, nullopt, -1},
      {"case kept by default", "HASH_KEY", "hash_key", nullopt, nullopt, -1},
      {"case ignored", "x HASH_KEY", "hash_key", nullopt, true, 3},
      {"backslash only outside a character", kTrailBackslash + "\\", "\\", nullopt, nullopt, 3},
      {"trail byte backslash never matches", kTrailBackslash, "\\", nullopt, nullopt, -1},
      {"trail byte letter never matches", kTrailUpperA, "a", nullopt, true, -1},
      {"trail bytes are not case-folded", kTrailUpperA, kTrailLowerA, nullopt, true, -1},
      {"double-byte sought", G("文件大小：12"), G("："), nullopt, nullopt, 9},
      {"walk misses a match across characters", "\xB0\xA1\xB0\xA1", "\xA1\xB0", nullopt, nullopt,
       -1},
      {"walk counts from its start", "\xB0\xA1\xB0\xA1", "\xA1\xB0", 2, nullopt, 2},
      {"text ends at a zero byte", Text("ab\0c", 4), "c", nullopt, nullopt, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.forward) << c.name;
  }
}

TEST(TextUtils, FindTextReverseTakesTheLastMatchBeforeStart) {
  const FindCase cases[] = {
      {"second of two colons", "a:b:c", ":", nullopt, nullopt, 4},
      {"only the first start - 1 bytes", "a:b:c", ":", 4, nullopt, 2},
      {"match must end before start", "a:b:c", ":", 5, nullopt, 4},
      {"start 1 gives nothing", "a:b:c", ":", 1, nullopt, -1},
      {"start beyond the end covers all", "a:b:c", ":", 99, nullopt, 4},
      {"empty sought", "abc", "", nullopt, nullopt, 1},
      {"empty sought with start 1", "abc", "", 1, nullopt, -1},
      {"case ignored", "Ab-aB", "ab", nullopt, true, 4},
      {"trail byte backslash never matches", "\\" + kTrailBackslash, "\\", nullopt, nullopt, 1},
      {"not found", "abc", "x", nullopt, nullopt, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindTextReverse(c.text, c.sought, c.start, c.ignoreCase), c.forward) << c.name;
  }
}

struct BetweenCase {
  const char* name;
  Text source;
  Text left;
  Text right;
  std::optional<int32_t> startPos;
  std::optional<bool> caseSensitive;
  Text expected;
};

TEST(TextUtils, TextBetweenCutsBetweenTheFirstMarkers) {
  const BetweenCase cases[] = {
      {"plain", "<a>x</a>", "<a>", "</a>", nullopt, nullopt, "x"},
      {"left marker missing", "x</a>", "<a>", "</a>", nullopt, nullopt, ""},
      {"right marker only before the left", "</a><a>x", "<a>", "</a>", nullopt, nullopt, ""},
      {"markers touch", "<a></a>", "<a>", "</a>", nullopt, nullopt, ""},
      {"only the first left marker counts", "k=1;k=22;", "k=", ";", nullopt, nullopt, "1"},
      {"case ignored by default", "HASH_KEY\" value=\"ab\"", "hash_key\" value=\"", "\"", nullopt,
       nullopt, "ab"},
      {"case kept on request", "HASH_KEY=ab;", "hash_key=", ";", nullopt, true, ""},
      {"placeholder for a double quote", "value=\"x\"", G("value=#引号"), G("#引号"), nullopt,
       nullopt, "x"},
      {"empty right marker", "abc;def", "a", "", nullopt, nullopt, ""},
      {"empty left marker starts at the first byte", "abc;def", "", ";", nullopt, nullopt, "abc"},
      {"start position skips a marker", "a=1;a=2;", "a=", ";", 2, nullopt, "2"},
      {"left marker reaching the end", "abc<a>", "<a>", "<", nullopt, nullopt, ""},
      {"Chinese markers", G("文件大小：1.5 MB，"), G("文件大小："), G("，"), nullopt, nullopt,
       "1.5 MB"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.source, c.left, c.right, c.startPos, c.caseSensitive), c.expected)
        << c.name;
  }
}

struct ReplaceCase {
  const char* name;
  Text text;
  Text sought;
  std::optional<Text> replacement;
  std::optional<int32_t> start;
  std::optional<int32_t> count;
  std::optional<bool> caseSensitive;
  Text expected;
};

TEST(TextUtils, ReplaceText) {
  const ReplaceCase cases[] = {
      {"all, case ignored", "aXbxc", "x", Text("-"), nullopt, nullopt, nullopt, "a-b-c"},
      {"case kept on request", "aXbxc", "x", Text("-"), nullopt, nullopt, true, "aXb-c"},
      {"absent replacement removes", "a\r\nb\r\n", "\r\n", nullopt, nullopt, nullopt, nullopt,
       "ab"},
      {"count limits", "xxx", "x", Text("y"), nullopt, 2, nullopt, "yyx"},
      {"count 0 changes nothing", "xxx", "x", Text("y"), nullopt, 0, nullopt, "xxx"},
      {"start keeps the head", "xxxx", "x", Text("y"), 3, nullopt, nullopt, "xxyy"},
      {"start below 1 counts as 1", "xx", "x", Text("y"), -3, nullopt, nullopt, "yy"},
      {"start past the end", "xx", "x", Text("y"), 3, nullopt, nullopt, "xx"},
      {"empty sought", "xx", "", Text("y"), nullopt, nullopt, nullopt, "xx"},
      {"replacement holding sought", "aa", "a", Text("aa"), nullopt, nullopt, nullopt, "aaaa"},
      {"trail byte backslash kept", kTrailBackslash + "\\", "\\", Text("/"), nullopt, nullopt,
       nullopt, kTrailBackslash + "/"},
      {"lone lead byte at the end dropped", "ab\xB0", "x", Text("y"), nullopt, nullopt, nullopt,
       "ab"},
      {"short tail copied as it is", "ab\xB0", "xy", Text("z"), nullopt, nullopt, nullopt,
       "ab\xB0"},
      {"Chinese sought", G("甲乙甲"), G("甲"), G("丙"), nullopt, nullopt, nullopt, G("丙乙丙")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.sought, c.replacement, c.start, c.count, c.caseSensitive),
              c.expected)
        << c.name;
  }
}

struct SplitCase {
  const char* name;
  Text text;
  std::optional<Text> separator;
  std::optional<int32_t> maxCount;
  std::vector<Text> expected;
};

TEST(TextUtils, SplitText) {
  const SplitCase cases[] = {
      {"empty piece between separators", "a;;b", Text(";"), nullopt, {"a", "", "b"}},
      {"leading separator", ";a", Text(";"), nullopt, {"", "a"}},
      {"trailing separator", "a;", Text(";"), nullopt, {"a"}},
      {"separator alone", ";", Text(";"), nullopt, {""}},
      {"comma by default", "a,b", nullopt, nullopt, {"a", "b"}},
      {"longer separator", "a\r\nb\r\n\r\nc", Text("\r\n"), nullopt, {"a", "b", "", "c"}},
      {"max count", "a;b;c", Text(";"), 2, {"a", "b"}},
      {"max count leaves the rest out", "a;b", Text(";"), 1, {"a"}},
      {"negative max count", "a;b", Text(";"), -1, {}},
      {"empty text", "", Text(";"), nullopt, {}},
      {"empty separator", "a;b", Text(""), nullopt, {"a;b"}},
      {"trail byte is no separator",
       kTrailBackslash + "\\x",
       Text("\\"),
       nullopt,
       {kTrailBackslash, "x"}},
      {"lone lead byte stays in the last piece", "a/\xB0", Text("/"), nullopt, {"a", "\xB0"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitText(c.text, c.separator, c.maxCount), c.expected) << c.name;
  }
}

TEST(TextUtils, SpacesAreAsciiAndFullWidth) {
  struct Case {
    Text text, removed, trimmed;
  };
  const Case cases[] = {
      {G(" a　b\tc "), G("ab\tc"), G("a　b\tc")},
      {G("　 x y　 "), "xy", "x y"},
      {"\ta\n", "\ta\n", "\ta\n"},
      {G(" 　 "), "", ""},
      {"", "", ""},
      // 0xA1 0xA1 across two characters is no full-width space.
      {"\xC4\xA1\xA1\xB0", "\xC4\xA1\xA1\xB0", "\xC4\xA1\xA1\xB0"},
      {"a \xB0", "a", "a \xB0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RemoveSpaces(c.text), c.removed) << GbkToUtf8(c.text);
    EXPECT_EQ(TrimSpaces(c.text), c.trimmed) << GbkToUtf8(c.text);
  }
}

TEST(TextUtils, TrimBlanksChangesTheCallersVariable) {
  Text padded = "  a b  ";
  EXPECT_EQ(TrimBlanks(padded), "a b");
  EXPECT_EQ(padded, "a b");

  Text tabbed = G("\t 名　 ");
  EXPECT_EQ(TrimBlanks(tabbed), G("\t 名　"));
  EXPECT_EQ(tabbed, G("\t 名　"));

  Text blanks = "   ";
  EXPECT_EQ(TrimBlanks(blanks), "");
  EXPECT_EQ(blanks, "");
}

TEST(TextUtils, LetterCaseChangesAsciiLettersOnly) {
  EXPECT_EQ(ToLowerCase("AbC-" + kTrailUpperA + "Z"), "abc-" + kTrailUpperA + "z");
  EXPECT_EQ(ToUpperCase("aBc-" + kTrailLowerA + "z"), "ABC-" + kTrailLowerA + "Z");
}

TEST(TextUtils, NumberReadersFoldFullWidthForms) {
  struct Case {
    Text text;
    double number;
    int32_t integer;
  };
  const Case cases[] = {
      {"12.5 MB", 12.5, 12},
      {"1,234", 1, 1},
      {G("１２．５ＭＢ"), 12.5, 12},
      {G("－３"), -3, -3},
      {G("　＋７"), 7, 7},
      {" \t-3e2x", -300, -3},
      {".5", 0.5, 0},
      {"1e", 1, 1},
      {"abc", 0, 0},
      {"", 0, 0},
      {G("大小 5"), 0, 0},
      {"99999999999", 99999999999.0, INT32_MAX},
      {"-99999999999", -99999999999.0, INT32_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(TextToNumber(c.text), c.number) << GbkToUtf8(c.text);
    EXPECT_EQ(TextToInt(c.text), c.integer) << GbkToUtf8(c.text);
  }
  EXPECT_EQ(TextToShort("65537"), 1);
  EXPECT_EQ(TextToShort("40000"), -25536);
  EXPECT_EQ(TextToShort("-2"), -2);
}

TEST(TextUtils, NumberToText) {
  EXPECT_EQ(NumberToText(int8_t{-128}), "-128");
  EXPECT_EQ(NumberToText(int16_t{32767}), "32767");
  EXPECT_EQ(NumberToText(int32_t{-5}), "-5");
  EXPECT_EQ(NumberToText(int64_t{9223372036854775807}), "9223372036854775807");
  EXPECT_EQ(NumberToText(3.0), "3");
  EXPECT_EQ(NumberToText(12.5), "12.5");
  EXPECT_EQ(NumberToText(0.1), "0.1");
  EXPECT_EQ(NumberToText(1.0 / 3.0), "0.3333333333333");
  EXPECT_EQ(NumberToText(1e20), "1e+20");
  EXPECT_EQ(NumberToText(-0.000012345), "-1.2345e-05");
  EXPECT_EQ(NumberToText(3.14159265f), "3.14159");
  EXPECT_EQ(NumberToText(1234567.0f), "1.23457e+06");
}

TEST(TextUtils, CuttingTextsCountsBytes) {
  const Text t = G("ab文");  // 4 bytes
  EXPECT_EQ(TextLength(t), 4);
  EXPECT_EQ(TextLength(Text("ab\0c", 4)), 2);
  EXPECT_EQ(TextLeft(t, 3), "ab\xCE");
  EXPECT_EQ(TextLeft(t, 99), t);
  EXPECT_EQ(TextLeft(t, 0), "");
  EXPECT_EQ(TextRight(t, 1), "\xC4");
  EXPECT_EQ(TextRight(t, 99), t);
  EXPECT_EQ(TextRight(t, -1), "");
  EXPECT_EQ(TextMid(t, 2, 2), "b\xCE");
  EXPECT_EQ(TextMid(t, 4, 9), "\xC4");
  EXPECT_EQ(TextMid(t, 0, 2), "");
  EXPECT_EQ(TextMid(t, 5, 1), "");
  EXPECT_EQ(TextMid(t, 1, 0), "");
}

TEST(TextUtils, ByteArraysKeepZeroBytes) {
  const Bytes b("a\0bc", 4);
  EXPECT_EQ(BytesLength(b), 4);
  EXPECT_EQ(BytesLeft(b, 2), Bytes("a\0", 2));
  EXPECT_EQ(BytesLeft(b, -1), "");
  EXPECT_EQ(BytesRight(b, 3), Bytes("\0bc", 3));
  EXPECT_EQ(BytesRight(b, 9), b);
  EXPECT_EQ(BytesMid(b, 0, 2), Bytes("a\0", 2));
  EXPECT_EQ(BytesMid(b, 4, 9), "c");
  EXPECT_EQ(BytesMid(b, 5, 1), "");
  EXPECT_EQ(BytesMid(b, 2, -1), "");
  EXPECT_EQ(FindBytes(b, Bytes("\0b", 2)), 2);
  EXPECT_EQ(FindBytes(b, "c", 0), 4);
  EXPECT_EQ(FindBytes(b, "a", 2), -1);
  EXPECT_EQ(FindBytes(b, "c", 5), -1);
  EXPECT_EQ(FindBytes(b, ""), -1);
  EXPECT_EQ(BytesToText(b), "a");
  EXPECT_EQ(BytesToText("abc"), "abc");
  EXPECT_EQ(TextToBytes("abc"), "abc");
  EXPECT_EQ(BlankBytes(3), Bytes(3, '\0'));
  EXPECT_EQ(BlankBytes(0), "");
  EXPECT_EQ(BlankText(2), "  ");
  EXPECT_EQ(BlankText(-1), "");
}

TEST(TextUtils, CharCodeIsASignedByte) {
  const Text t = G("a文");
  EXPECT_EQ(CharCode(t), 'a');
  EXPECT_EQ(CharCode(t, 2), static_cast<int8_t>(0xCE));
  EXPECT_LT(CharCode(t, 2), 0);
  EXPECT_EQ(CharCode(t, 0), 0);
  EXPECT_EQ(CharCode(t, 4), 0);
  EXPECT_EQ(CharFromCode('x'), "x");
  EXPECT_EQ(CharFromCode(0xCE), "\xCE");
  EXPECT_EQ(CharFromCode(0), "");
}

TEST(TextUtils, Base64DecodeText) {
  struct Case {
    const char* name;
    Text input;
    Bytes decoded;
    Text cleaned;
  };
  const Case cases[] = {
      {"three bytes", "QUJD", "ABC", "QUJD"},
      {"one equals sign", "QUI=", "AB", "QUI="},
      {"two equals signs", "QQ==", "A", "QQ=="},
      {"no padding reads as A", "QQ", Bytes("A\0\0", 3), "QQ"},
      {"empty", "", "", ""},
      {"address", "aHR0cDovL2EuYi9m", "http://a.b/f", "aHR0cDovL2EuYi9m"},
      {"blanks and CR LF pairs vanish", G(" QU　J\r\nD\r\n"), "ABC", "QUJD"},
      {"stop at place 2 drops the last group", "QUJDQ=", "ABC", "QUJDQ="},
      {"lone LF after the last group", "QUJD\n", "ABC", "QUJD\n"},
      {"several groups", "QUJDREVG", "ABCDEF", "QUJDREVG"},
      {"all 64 characters", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/",
       Bytes("\x00\x10\x83\x10\x51\x87\x20\x92\x8b\x30\xd3\x8f\x41\x14\x93\x51\x55\x97\x61\x96\x9b"
             "\x71"
             "\xd7\x9f\x82\x18\xa3\x92\x59\xa7\xa2\x9a\xab\xb2\xdb\xaf\xc3\x1c\xb3\xd3\x5d\xb7\xe3"
             "\x9e"
             "\xbb\xf3\xdf\xbf",
             48),
       "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"},
  };
  for (const auto& c : cases) {
    Text variable = c.input;
    const Bytes decoded = Base64DecodeText(variable);
    EXPECT_EQ(decoded, c.decoded) << c.name;
    EXPECT_EQ(variable, c.cleaned) << c.name;
  }
}

}  // namespace
