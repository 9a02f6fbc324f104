#include "settings/ini_persist.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/ini_file_base.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::ToFsPath;
using testing::WriteBytes;

// A record with one property of every kind the persister knows.
class KindsRecord : public TIniFileBase {
public:
    using TIniFileBase::TIniFileBase;

    std::vector<TPersistedProperty> PersistedProperties() override {
        std::vector<TPersistedProperty> properties = {
            PersistedMember(u"Text", text, u"K", u"Text", u"dflt"),
            PersistedMember(u"Int", integer, u"K", u"Int", u"7"),
            PersistedMember(u"Big", big, u"K", u"Big", u"8"),
            PersistedMember(u"Flag", flag, u"K", u"Flag", u"False"),
            PersistedMember(u"Letter", letter, u"K", u"Letter", u"E"),
            PersistedMember(u"Ratio", ratio, u"K", u"Ratio", u"0.5"),
            PersistedMember(u"Mode", mode, u"K", u"Mode", u"second"),
            PersistedMember(u"Flags", flags, u"K", u"Flags", u"[]"),
        };
        // A member without an attribute is not persisted.
        properties.push_back({u"Scratch", {}, [this] { return TValue(scratch); }, [](const TValue&) {}});
        if (withUnsupported) {
            properties.insert(properties.begin() + 2, TPersistedProperty{
                                                          u"Blob",
                                                          {std::make_shared<IniValueAttribute>(u"K", u"Blob", u"")},
                                                          [] { return TValue(TUnsupportedValue{u"TBlob"}); },
                                                          [](const TValue&) {},
                                                      });
        }
        return properties;
    }

    std::u16string text;
    std::int32_t integer = 0;
    std::int64_t big = 0;
    bool flag = true;
    char16_t letter = 0;
    double ratio = 0;
    TEnumValue mode{0, {u"first", u"second", u"third"}};
    TSetValue flags{0, {u"a", u"b", u"c"}};
    std::u16string scratch = u"not persisted";
    bool withUnsupported = false;
};

class IniPersistTest : public ::testing::Test {
protected:
    void WriteFile(const std::vector<std::u16string>& lines) { WriteBytes(ToFsPath(file), fs::EncodeTextLines(lines)); }
    std::vector<std::u16string> FileLines() { return *fs::ReadTextLines(file); }

    TempFolder folder;
    std::u16string file = folder.File(u"kinds.ini");
    KindsRecord record{file};
};

TEST_F(IniPersistTest, AbsentFileGivesEveryDefaultAndCreatesNothing) {
    record.Load();
    EXPECT_EQ(record.text, u"dflt");
    EXPECT_EQ(record.integer, 7);
    EXPECT_EQ(record.big, 8);
    EXPECT_FALSE(record.flag);
    EXPECT_EQ(record.letter, u'E');
    EXPECT_EQ(record.ratio, 0.5);
    EXPECT_EQ(record.mode.Ordinal, 1);
    EXPECT_EQ(record.flags.Members, 0u);
    EXPECT_FALSE(fs::FileExists(file));
}

TEST_F(IniPersistTest, ValuesRoundTripThroughTheFile) {
    record.text = u"Caf\u00E9 \u20AC";
    record.integer = -2147483647 - 1;
    record.big = 2147483647;
    record.flag = false;
    record.letter = u'Z';
    record.ratio = -1.25;
    record.mode.Ordinal = 2;
    record.flags.Members = 0b101;
    record.Save();
    EXPECT_EQ(FileLines(), (std::vector<std::u16string>{GeneratedFileHeader(), u"[K]", u"Text=Caf\u00E9 \u20AC",
                                                        u"Int=-2147483648", u"Big=2147483647", u"Flag=False",
                                                        u"Letter=Z", u"Ratio=-1.25", u"Mode=third", u"Flags=[a,c]"}));
    KindsRecord loaded(file);
    loaded.Load();
    EXPECT_EQ(loaded.text, record.text);
    EXPECT_EQ(loaded.integer, record.integer);
    EXPECT_EQ(loaded.big, record.big);
    EXPECT_EQ(loaded.flag, record.flag);
    EXPECT_EQ(loaded.letter, record.letter);
    EXPECT_EQ(loaded.ratio, record.ratio);
    EXPECT_EQ(loaded.mode.Ordinal, 2);
    EXPECT_EQ(loaded.flags.Members, 0b101u);
}

TEST_F(IniPersistTest, BooleansAreFalseOnlyForTheWordFalse) {
    struct Case {
        std::u16string text;
        bool value;
    };
    const Case cases[] = {{u"True", true}, {u"false", false}, {u"FALSE", false}, {u"False", false},
                          {u"yes", true},  {u"0", true},      {u"", true},       {u"no", true}};
    for (const auto& c : cases) {
        WriteFile({u"[K]", u"Flag=" + c.text});
        record.Load();
        EXPECT_EQ(record.flag, c.value) << ToUtf8(c.text);
    }
    // Whatever was written by hand, a save writes the word.
    WriteFile({u"[K]", u"Flag=yes"});
    record.Load();
    record.Save();
    const auto lines = FileLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), u"Flag=True"), lines.end());
}

TEST_F(IniPersistTest, NumberThatDoesNotConvertStopsTheLoadThere) {
    struct Case {
        std::u16string key, text;
    };
    // An empty value is no number either; a 64-bit property is read with the 32-bit rule.
    const Case cases[] = {
        {u"Int", u""}, {u"Int", u"12x"}, {u"Int", u"4294967296"}, {u"Big", u"4294967296"}, {u"Ratio", u"half"}};
    for (const auto& c : cases) {
        KindsRecord fresh(file);
        WriteFile({u"[K]", u"Text=from file", c.key + u"=" + c.text, u"Mode=third"});
        EXPECT_THROW(fresh.Load(), EConvertError) << ToUtf8(c.key + u"=" + c.text);
        EXPECT_EQ(fresh.text, u"from file");  // read before the failure
        EXPECT_EQ(fresh.mode.Ordinal, 0);     // after it: untouched
    }
}

TEST_F(IniPersistTest, UnsupportedKindFailsWhereItStands) {
    record.withUnsupported = true;
    record.text = u"written";
    try {
        record.Save();
        FAIL() << "no error";
    } catch (const EIniPersist& error) {
        EXPECT_EQ(error.Message(), u"Type not Supported");
    }
    // Keys before it were written, later ones were not, and the header step did not run.
    EXPECT_EQ(FileLines(), (std::vector<std::u16string>{u"[K]", u"Text=written", u"Int=0"}));
    EXPECT_THROW(record.Load(), EIniPersist);
}

TEST_F(IniPersistTest, SkipMarkerKeepsTheFileLineAndAddsNone) {
    WriteFile({u"[K]", u"Text=by hand"});
    record.text = kSkipMarker;
    record.Save();
    EXPECT_EQ(FileLines()[2], u"Text=by hand");

    std::filesystem::remove(ToFsPath(file));
    record.Save();
    for (const auto& line : FileLines()) EXPECT_NE(line.rfind(u"Text=", 0), 0u) << ToUtf8(line);
}

TEST_F(IniPersistTest, HeaderLineGoesOnTopExactlyOnce) {
    WriteFile({u"# a comment of another kind", u"[K]", u"Other=1", u"", u"[Z]", u"z=1"});
    record.Save();
    record.Save();
    const auto lines = FileLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], GeneratedFileHeader());
    EXPECT_EQ(lines[1], u"# a comment of another kind");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), GeneratedFileHeader()), 1);
    // Unmapped keys, blank lines and other sections survive.
    EXPECT_NE(std::find(lines.begin(), lines.end(), u"Other=1"), lines.end());
    EXPECT_EQ(std::vector<std::u16string>(lines.end() - 3, lines.end()),
              (std::vector<std::u16string>{u"", u"[Z]", u"z=1"}));
}

TEST_F(IniPersistTest, HeaderFurtherDownDoesNotCount) {
    WriteFile({u"[K]", GeneratedFileHeader()});
    record.Save();
    const auto lines = FileLines();
    EXPECT_EQ(lines[0], GeneratedFileHeader());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), GeneratedFileHeader()), 2);
}

TEST_F(IniPersistTest, SavedFileKeepsItsEncodingWithCrLf) {
    // A new file, and one without a byte-order mark, are in the system code page.
    record.text = u"\u00E9t\u00E9 \u6F22";
    record.Save();
    std::string bytes = ReadBytes(ToFsPath(file));
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")), ToAnsi(GeneratedFileHeader()));
    EXPECT_NE(bytes.find("[K]\r\nText=\xE9t\xE9 ?\r\n"), std::string::npos);

    WriteBytes(ToFsPath(file), "\xEF\xBB\xBF[K]\nText=\xC3\xA9t\xC3\xA9 \xE6\xBC\xA2\n");  // UTF-8 with a mark, LF ends
    record.Load();
    EXPECT_EQ(record.text, u"\u00E9t\u00E9 \u6F22");
    record.Save();
    bytes = ReadBytes(ToFsPath(file));
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")), "\xEF\xBB\xBF" + ToUtf8(GeneratedFileHeader()));
    EXPECT_NE(bytes.find("[K]\r\nText=\xC3\xA9t\xC3\xA9 \xE6\xBC\xA2\r\n"), std::string::npos);
}

TEST_F(IniPersistTest, WriteFailureNamesTheFile) {
    KindsRecord nowhere(folder.File(u"missing\\kinds.ini"));
    try {
        nowhere.Save();
        FAIL() << "no error";
    } catch (const EIniFileException& error) {
        EXPECT_EQ(error.Message(), u"Unable to write to " + folder.File(u"missing\\kinds.ini"));
    }
}

TEST_F(IniPersistTest, UnreadableFileFailsTheSaveAndWritesNothing) {
    std::filesystem::create_directory(ToFsPath(file));  // a folder cannot be read as a file
    EXPECT_THROW(record.Save(), EFOpenError);
    EXPECT_TRUE(std::filesystem::is_directory(ToFsPath(file)));
}

TEST(TIniPersist, FileLevelOperationsUseTheRecordsProperties) {
    TempFolder folder;
    const std::u16string file = folder.File(u"plain.ini");
    KindsRecord record(file);
    record.integer = 99;
    TIniPersist::Save(file, record);
    // The persister alone writes no header line.
    EXPECT_EQ((*fs::ReadTextLines(file))[0], u"[K]");
    KindsRecord loaded(file);
    TIniPersist::Load(file, loaded);
    EXPECT_EQ(loaded.integer, 99);
}

}  // namespace
}  // namespace dv
