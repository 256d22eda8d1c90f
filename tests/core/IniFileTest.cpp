// Ini files: lookup rules, value parsing, preservation of unknown content and safe saving.
#include "core/IniFile.h"
#include "support/ScratchFiles.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace kreisel;
using kreisel::test::ReadBytes;
using kreisel::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

class IniFileDiskTest : public ::testing::Test {
  protected:
    std::vector<std::string> DirEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(scratch_.Dir()))
            names.push_back(entry.path().filename().string());
        return names; // one entry at most where it is asked
    }

    kreisel::test::ScratchFolder scratch_{"ini"};
    const fs::path dir_ = scratch_.Dir();
};

} // namespace

TEST(IniFileTest, LookupIgnoresCaseAndFallsBackToDefaults) {
    const IniFile ini = IniFile::FromText("[Options]\r\n  Ini_MaxLoopCount =  24 \r\nName=a=b\r\nEmpty=\r\n");
    EXPECT_EQ(ini.ReadInteger("OPTIONS", "ini_maxloopcount", 32), 24);
    EXPECT_EQ(ini.ReadString("options", "NAME", "x"), "a=b");
    EXPECT_EQ(ini.ReadString("Options", "Empty", "x"), "");
    EXPECT_EQ(ini.ReadString("Options", "Missing", "x"), "x");
    EXPECT_EQ(ini.ReadString("Other", "Name", "x"), "x");
    EXPECT_TRUE(ini.ValueExists("options", "empty"));
    EXPECT_FALSE(ini.ValueExists("options", "missing"));
    EXPECT_TRUE(ini.SectionExists("oPtIoNs"));
    EXPECT_FALSE(IniFile().SectionExists("Options"));
}

TEST(IniFileTest, IntegerAndBoolParsing) {
    const IniFile ini = IniFile::FromText("[S]\na= 12 \nb=-3\nc=abc\nd=2\ne=0\nf=12abc\ng=$FF\nh=0x10\n"
                                          "i=99999999999\nj=-2147483648\nk=\nl=- 3\n"
                                          "m=2147483648\nn=-2147483649\no=2147483647\n");
    const std::pair<const char*, int> ints[] = {{"a", 12}, {"b", -3}, {"c", 7}, {"f", 7}, {"g", 255},
                                                {"h", 16}, {"i", 7},  {"j", -2147483648}, {"k", 7}, {"l", 7},
                                                {"m", 7},  {"n", 7},  {"o", 2147483647}};
    for (const auto& [key, want] : ints)
        EXPECT_EQ(ini.ReadInteger("S", key, 7), want) << key;
    const std::tuple<const char*, bool, bool> bools[] = {{"d", false, true}, {"b", false, true}, {"e", true, false},
                                                         {"c", true, true},  {"c", false, false}, {"i", false, false}};
    for (const auto& [key, fallback, want] : bools)
        EXPECT_EQ(ini.ReadBool("S", key, fallback), want) << key;
}

TEST(IniFileTest, RewriteKeepsUnknownContentAndOrder) {
    IniFile ini = IniFile::FromText("; Kreisel settings\n[Main]\nUnknown = keep me\n; a comment\nstray line\n"
                                    "Level=3\n\n[Other]\nx=1\n");
    EXPECT_TRUE(ini.WriteInteger("main", "LEVEL", -5));
    EXPECT_TRUE(ini.WriteBool("Main", "Added", true));
    EXPECT_TRUE(ini.WriteString("New", "Text", "Grüße"));
    EXPECT_EQ(ini.Text(), "; Kreisel settings\n[Main]\nUnknown = keep me\n; a comment\nstray line\nLevel=-5\n"
                          "Added=1\n\n[Other]\nx=1\n\n[New]\nText=Grüße\n");
    EXPECT_EQ(IniFile::FromText(ini.Text()).Text(), ini.Text());
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Main", "Other", "New"}));
    EXPECT_EQ(ini.Keys("MAIN"), (std::vector<std::string>{"Unknown", "Level", "Added"}));
}

TEST(IniFileTest, EditingSectionsAndKeys) {
    IniFile ini = IniFile::FromText("[A]\nk=1\nK=2\n[b]\nz=0\n[a]\nk=3\n");
    EXPECT_EQ(ini.ReadInteger("a", "k", 0), 1); // the first section and key win
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"A", "b"}));
    EXPECT_EQ(ini.Keys("a"), (std::vector<std::string>{"k"}));
    ini.DeleteKey("a", "K");
    EXPECT_FALSE(ini.ValueExists("A", "k"));
    ini.EraseSection("A");
    EXPECT_FALSE(ini.SectionExists("a"));
    EXPECT_EQ(ini.Text(), "[b]\nz=0\n");
}

TEST(IniFileTest, RefusesTextThatWouldBreakTheFile) {
    IniFile ini = IniFile::FromText("[S]\nk=1\n");
    const std::tuple<const char*, const char*, const char*> bad[] = {
        {"S", "k", "2\n[Evil]\nx=1"}, {"S", "a=b", "1"}, {"S]", "k", "1"}, {"S", ";k", "1"}, {"", "k", "1"}};
    for (const auto& [section, key, value] : bad)
        EXPECT_FALSE(ini.WriteString(section, key, value)) << section << key << value;
    EXPECT_EQ(ini.Text(), "[S]\nk=1\n");
}

// Whatever is written, the file stays UTF-8, so the other umlauts in it survive the next load;
// a file that mixes encodings line by line, or carries two byte order marks, reads back whole.
TEST(IniFileTest, TextStaysUtf8AcrossARewrite) {
    IniFile ini = IniFile::FromText("[Pfade]\nMusik=/home/j\xC3\xBCrgen/Musik\n");
    ASSERT_TRUE(ini.WriteString("Pfade", "Alt", "C:\\Aufnahmen\\Gr\xFC\xDF \xC3\xA4"));
    const IniFile back = IniFile::FromText(ini.Text());
    EXPECT_EQ(back.ReadString("Pfade", "Musik", ""), "/home/jürgen/Musik");
    EXPECT_EQ(back.ReadString("Pfade", "Alt", ""), "C:\\Aufnahmen\\Grüß ä");

    const IniFile mixed = IniFile::FromText("[A]\nx=K\xC3\xB6ln\ny=K\xF6ln\n");
    EXPECT_EQ(mixed.ReadString("A", "x", ""), "Köln");
    EXPECT_EQ(mixed.ReadString("A", "y", ""), "Köln");

    const IniFile marks = IniFile::FromText("\xEF\xBB\xBF\xEF\xBB\xBF[Erste]\nk=1\n");
    EXPECT_EQ(marks.Sections(), (std::vector<std::string>{"Erste"}));
    EXPECT_EQ(marks.ReadInteger("Erste", "k", 0), 1);
}

TEST_F(IniFileDiskTest, LoadsMissingWindows1252AndUnreadableFiles) {
    IniFile ini = IniFile::FromText("[S]\nk=1\n");
    EXPECT_EQ(ini.Load(dir_ / "none.ini"), IniFile::LoadResult::Missing);
    EXPECT_EQ(ini.ReadInteger("S", "k", 9), 9);

    WriteBytes(dir_ / "old.ini", "[Gr\xFC\xDF"
                                 "e]\r\nName=M\xE4rz \x80\r\n");
    ASSERT_EQ(ini.Load(dir_ / "old.ini"), IniFile::LoadResult::Loaded);
    EXPECT_EQ(ini.ReadString("grüße", "name", ""), "März €");

    std::string error;
    EXPECT_EQ(ini.Load(dir_, &error), IniFile::LoadResult::Failed);
    EXPECT_NE(error.find("kann nicht gelesen werden"), std::string::npos) << error;
}

TEST_F(IniFileDiskTest, SaveReplacesTheFileAndKeepsItsPermissions) {
    const fs::path path = dir_ / "Kreisel.LPS";
    WriteBytes(path, "[S]\nold=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    IniFile ini;
    ASSERT_EQ(ini.Load(path), IniFile::LoadResult::Loaded);
    ini.WriteString("S", "Name", "Ärger");
    std::string error;
    ASSERT_TRUE(ini.Save(path, &error)) << error;
    EXPECT_EQ(ReadBytes(path), "[S]\nold=1\nName=Ärger\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"Kreisel.LPS"});
}

TEST_F(IniFileDiskTest, FailedSaveLeavesNoTraces) {
    const IniFile ini = IniFile::FromText("[S]\nk=1\n");
    std::string error;
    fs::create_directory(dir_ / "taken");
    EXPECT_FALSE(ini.Save(dir_ / "taken", &error));
    EXPECT_NE(error.find("kann nicht geschrieben werden"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(dir_ / "taken"));
    EXPECT_FALSE(ini.Save(dir_ / "no-such-folder" / "a.ini", &error));
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"taken"});
}

TEST_F(IniFileDiskTest, WriteErrorKeepsTheOldFile) {
    // A file size limit makes the write itself fail, even for root.
    const fs::path path = dir_ / "Kreisel.mix";
    const std::string old = "[S]\nk=1\n";
    WriteBytes(path, old);
    IniFile ini = IniFile::FromText(old);
    ini.WriteString("S", "big", std::string(100000, 'x'));

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool savedOk = ini.Save(path, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(savedOk);
    EXPECT_NE(error.find("Kreisel.mix"), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"Kreisel.mix"});
}
