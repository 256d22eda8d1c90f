// Rounding, number patterns, level/time/beat texts and the file text decoding.
#include "core/Text.h"
#include "core/Encoding.h"

#include <climits>
#include <gtest/gtest.h>
#include <limits>

using namespace kreisel;

TEST(RoundingTest, HalvesGoToTheEvenNeighbourResultsClampAndDivisionNeverTraps) {
    const std::pair<double, int> halves[] = {{2.5, 2},        {3.5, 4},     {-2.5, -2},      {-3.5, -4},
                                             {2.5000001, 3},  {-0.4, 0},    {1e12, INT_MAX}, {-1e12, INT_MIN},
                                             {2147483646.5, 2147483646}};
    for (const auto& [v, want] : halves)
        EXPECT_EQ(RoundHalfEven(v), want) << v;
    EXPECT_EQ(RoundHalfEven64(4503599627370497.0), 4503599627370497LL);
    EXPECT_EQ(RoundHalfEven64(1e30), INT64_MAX);
    EXPECT_EQ((std::array{DivTrunc(7, 2), DivTrunc(-7, 2), DivTrunc(7, -2), DivTrunc(5, 0), DivTrunc(INT_MIN, -1)}),
              (std::array{3, -3, -3, 0, INT_MAX}));
    EXPECT_EQ(DivTrunc64(-9000000000LL, 4), -2250000000LL);
}

TEST(FormatFloatTest, PatternsRoundingSectionsAndSeparators) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case { const char* pattern; double v; const char* want; char sep = '.'; };
    const Case cases[] = {
        {"0.##0", 2.268, "2.268"}, {"0.##0", 1.0, "1.000"}, {"0.##0", 12345.6789, "12345.679"},
        {"#.##0", 0.5, ".500"}, {"#.##0", 1234.5, "1234.500"}, {"0.###0", 0.12, "0.1200"},
        {"##0.###", 0.0, "0"}, {"##0.###", -0.05, "-0.05"}, {"##0.###", 6.25, "6.25"}, {"0.##", 1.0, "1"},
        {"0.##", 440.0, "440"}, {"0.##", 123.456, "123.46"}, {"0.0", 0.0, "0.0"}, {"0.0", -7.25, "-7.3"},
        {"0.", 1.5, "2"}, {"0.", 0.4, "0"}, {"0", 99.5, "100"}, {"000", 7.0, "007"}, {"0.0 'Hz'", 50.0, "50.0 Hz"},
        // halves away from zero on the exact value: 0.0005 is stored a little above, 2.675 below
        {"0.0", 0.25, "0.3"}, {"0.0", -0.25, "-0.3"}, {"0.0", 9.96, "10.0"}, {"0.##0", 0.9999, "1.000"},
        {"0.##0", 0.0005, "0.001"}, {"0.00", 2.675, "2.67"}, {"0.0", 1e-300, "0.0"},
        {"0", 1e20, "100000000000000000000"}, {"0.0", -1e-9, "0.0"},
        // sections for negative and zero
        {"+0.0;-0.0;+-0", 3.14, "+3.1"}, {"+0.0;-0.0;+-0", -3.14, "-3.1"}, {"+0.0;-0.0;+-0", 0.0, "+-0"},
        {"+0.0;-0.0;+-0", 0.04, "+-0"}, {"+0.0;-0.0;+-0", -0.04, "+-0"}, {"0.0;(0.0)", -2.0, "(2.0)"},
        {"0.0;;zero", -2.0, "-2.0"}, {"0.0;;zero", 0.0, "zero"}, {"+0.0;-0.0", -0.01, "+0.0"},
        {"0.##0", 2.5, "2,500", ','}, {"0.##", 3.0, "3", ','}, {"0.0", inf, "INF"}, {"0.0", -inf, "-INF"},
        {"0.0", std::numeric_limits<double>::quiet_NaN(), "NAN"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatFloat(c.pattern, c.v, c.sep), c.want) << c.pattern << " " << c.v;
    EXPECT_EQ(CentPattern(0), " +0.; -0.;+-0.");
    const std::tuple<int, double, const char*> cents[] = {{0, 12.4, " +12"},  {0, -12.6, " -13"}, {0, 0.3, "+-0"},
                                                          {2, -1.005, " -1.00"}, {1, 0.0, "+-0.0"}, {3, 49.9996, " +50.000"}};
    for (const auto& [digits, v, want] : cents)
        EXPECT_EQ(FormatFloat(CentPattern(digits), v), want) << digits << " " << v;
}

// The texts built in place for the block displays read as the patterns show them.
TEST(FormatFloatTest, FixedTextShowsWhatThePatternShows) {
    const double values[] = {0.0,         0.0625, 2.675,  0.0005,  0.00049,      -0.00049,
                             -0.5,        1.5,    9.9996, -9.9996, 0.12345,      1e-7,
                             2147483.647, 99.95,  -0.05,  0.05,    123456789.123};
    struct Pattern { const char* text; int decimals; bool leadingZero; };
    const Pattern patterns[] = {{"0", 0, true},      {"0.0", 1, true},    {"0.000", 3, true},
                                {"#.##0", 3, false}, {"0.###0", 4, true}, {"0.000000", 6, true}};
    for (const Pattern& p : patterns)
        for (const double v : values)
            for (const char separator : {'.', ','})
                EXPECT_EQ(FixedText().AppendFixed(v, p.decimals, separator, p.leadingZero).Str(),
                          FormatFloat(p.text, v, separator))
                    << p.text << " " << v;
    FixedText text;
    text.Append(INT64_MIN).Append(" / ").Append(int64_t{42});
    EXPECT_EQ(text.Str(), "-9223372036854775808 / 42");
    EXPECT_EQ(text.Append(std::string(200, 'x')).View().size(), FixedText::kCapacity);
}

TEST(LevelTextTest, TenthsOfADecibelAndOff) {
    const std::pair<int, const char*> cases[] = {{0, "0 dB"},       {15, "+1.5 dB"},    {1, "+0.1 dB"},
                                                 {-35, "-3.5 dB"},  {-960, "-96 dB"},   {-961, "AUS"},
                                                 {1200, "+120 dB"}, {INT_MIN, "AUS"}};
    for (const auto& [level, want] : cases)
        EXPECT_EQ(LevelText(level), want) << level;
    EXPECT_EQ(LevelText(-35, ','), "-3,5 dB");
}

TEST(TimeTextTest, SecondsBeatsAndLoopLengths) {
    // A stereo loop of 44100 frames at 44100 Hz, 120 BpM (11025 frames per half-beat).
    EXPECT_EQ(TimeText(88200, 2, 44100, 3), "1.000 Sek.");
    EXPECT_EQ(TimeText(88200, 2, 44100, 0), "1 Sek.");
    EXPECT_EQ(TimeText(66150, 1, 44100, 1, ','), "1,5 Sek.");
    EXPECT_EQ(TimeText(2, 2, 48000, 6), "0.000021 Sek.");
    EXPECT_EQ(TimeText(-44100, 1, 44100, 1), "-1.0 Sek.");
    EXPECT_EQ(BeatText(88200, 2, 11025), "2.0 beats");
    EXPECT_EQ(BeatText(8269, 1, 11025), "0.5 beats");
    // 2.5 and 3.5 half-beats: halves go to the even neighbour.
    EXPECT_EQ(BeatText(5, 1, 2), "1.0 beats");
    EXPECT_EQ(BeatText(7, 1, 2), "2.0 beats");
    EXPECT_EQ(BeatText(16538, 1, 11025, ','), "1,0 beats");
    EXPECT_EQ(LoopTimeText(176400, 2, 44100), "1.000 Sek.");
    EXPECT_EQ(LoopTimeText(100000, 1, 44100), "1.134 Sek.");
    // Settings not known yet must not divide by zero.
    EXPECT_EQ(TimeText(88200, 0, 44100, 1), "0.0 Sek.");
    EXPECT_EQ(TimeText(88200, 2, 0, 1), "0.0 Sek.");
    EXPECT_EQ(BeatText(88200, 2, 0), "0.0 beats");
    EXPECT_EQ(LoopTimeText(88200, 0, 44100), "0.000 Sek.");
}

TEST(EncodingTest, Utf8ValidationWindows1252FallbackAndBom) {
    EXPECT_TRUE(IsValidUtf8("Lautst\xC3\xA4rke \xE2\x82\xAC \xF0\x9F\x8E\xB8"));
    // Windows-1252 umlaut, overlong '/', surrogate, above U+10FFFF, cut short, bad continuation
    for (const char* bad : {"Lautst\xE4rke", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\xE2\x28\xAC"})
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    EXPECT_EQ(Windows1252ToUtf8("\xC4\xD6\xDC\xE4\xF6\xFC\xDF"), "ÄÖÜäöüß");
    EXPECT_EQ(Windows1252ToUtf8("\x80\x84\x93\x96\x9F"), "€„“–Ÿ");
    EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xC2\x81");
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"), "Grüß");
    EXPECT_EQ(DecodeTextFile("Gr\xFC\xDF"), "Grüß");
    EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBFGr\xFC\xDF"), "Grüß");
    EXPECT_EQ(DecodeTextFile("plain"), "plain");
}
