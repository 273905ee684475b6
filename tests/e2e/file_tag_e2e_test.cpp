// TSFILE through the whole road: uploads posted to lighttpd, file actions on a
// folder below the document root, and requests that try to reach beyond it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "site_test.h"
#include "tests/common/file_text.h"

namespace {

namespace fs = std::filesystem;

using ::testing::HasSubstr;
using ::testing::Not;

using tessaro::test::ReadFileText;
using tessaro::test::WriteFileText;

// Every regular file below dir, by path.
std::set<std::string> FilesBelow(const std::string& dir) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.insert(entry.path().string());
    return files;
}

struct Part {
    std::string field, fileName, contentType, data;
};

std::string MultipartBody(const std::vector<Part>& parts, std::string* contentType) {
    const std::string boundary = "----TessaroFileTagBoundary41";
    *contentType = "multipart/form-data; boundary=" + boundary;
    std::string body;
    for (const Part& part : parts) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + part.field + "\"";
        if (!part.fileName.empty()) body += "; filename=\"" + part.fileName + "\"";
        body += "\r\n";
        if (!part.contentType.empty()) body += "Content-Type: " + part.contentType + "\r\n";
        body += "\r\n" + part.data + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

constexpr const char* kResults =
    "<TSOUTPUT>saved=#File.FileWasSaved#|existed=#File.FileExisted#|renamed=#File.FileWasRenamed#|"
    "overwritten=#File.FileWasOverwritten#|appended=#File.FileWasAppended#|server=#File.ServerFile#|"
    "name=#File.ServerFileName#|ext=#File.ServerFileExt#|dir=#File.ServerDirectory#|size=#File.FileSize#|"
    "old=#File.OldFileSize#|attempted=#File.AttemptedServerFile#|client=#File.ClientFile#|"
    "clientname=#File.ClientFileName#|clientext=#File.ClientFileExt#|type=#File.ContentType#/"
    "#File.ContentSubType#|modified=#File.TimeLastModified#|accessed=#File.DateLastAccessed#</TSOUTPUT>";

// The value of key in a "key=value|..." result line.
std::string Field(const std::string& body, const std::string& key) {
    std::size_t at = body.find(key + "=");
    if (at == std::string::npos) return "<missing>";
    at += key.size() + 1;
    return body.substr(at, body.find('|', at) - at);
}

class FileTagThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        folder = site.document_root() + "/files";
        fs::create_directories(folder);
        // A file beside the folder, which no request may reach.
        outside = site.document_root() + "/secret.txt";
        WriteFileText(outside, "secret");
    }

    e2e::HttpResponse Post(const std::string& target, const std::vector<Part>& parts) {
        std::string contentType;
        std::string body = MultipartBody(parts, &contentType);
        return e2e::HttpRequest(site.port(), "POST", target, {"Content-Type: " + contentType}, body);
    }

    e2e::HttpResponse Upload(const std::string& attributes, const Part& part, const std::string& query = "") {
        site.WriteDocument("up.tsm", "<TSFILE ACTION=\"upload\" FILEFIELD=\"doc\" " + attributes + ">" + kResults);
        return Post("/up.tsm" + (query.empty() ? "" : "?" + query), {part});
    }

    std::string folder, outside;
};

TEST_F(FileTagThroughWebServer, MakeUniqueUploadsOfOneMegabyteGiveTwoDistinctFiles) {
    std::string data(1 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    Part part{"doc", "C:\\My Docs\\big.bin", "application/octet-stream", data};
    std::vector<std::string> names;
    for (int round = 0; round < 2; ++round) {
        auto response = Upload("DESTINATION=\"" + folder + "\" NAMECONFLICT=\"MAKEUNIQUE\"", part);
        ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
        ASSERT_EQ(Field(response.body, "saved"), "Yes") << response.body;
        EXPECT_EQ(Field(response.body, "size"), "1048576");
        EXPECT_EQ(Field(response.body, "dir"), folder);
        // The browser's name keeps its case, as the disk does.
        EXPECT_EQ(Field(response.body, "client"), "big.bin");
        EXPECT_EQ(Field(response.body, "attempted"), "");
        names.push_back(Field(response.body, "server"));
    }
    EXPECT_EQ(names[0], "big.bin");
    EXPECT_NE(names[1], names[0]);
    EXPECT_EQ(names[1].rfind("BTS", 0), 0u) << names[1];
    EXPECT_EQ(fs::path(names[1]).extension(), ".bin");
    for (const std::string& name : names) {
        std::string path = folder + "/" + name;
        EXPECT_EQ(ReadFileText(path), data) << path;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u) << path;
    }
    // Nothing is left behind in the runtime root's temporary folder.
    for (const auto& entry : fs::recursive_directory_iterator(site.home() + "/tmp")) {
        if (!entry.is_directory()) {
            EXPECT_EQ(entry.path().extension(), ".TMP") << entry.path();
        }
    }
}

// Uploads of one name at the same moment all find the name free; the one that loses the race
// is judged by its conflict rule as if the file had been there, never refused as an error.
TEST_F(FileTagThroughWebServer, UploadsOfOneNameAtOnceFollowTheirConflictRule) {
    for (const char* rule : {"MAKEUNIQUE", "OVERWRITE"}) {
        SCOPED_TRACE(rule);
        fs::remove_all(folder);
        fs::create_directories(folder);
        site.WriteDocument("up.tsm", std::string("<TSFILE ACTION=\"upload\" FILEFIELD=\"doc\" DESTINATION=\"") + folder +
                                         "\" NAMECONFLICT=\"" + rule + "\">" + kResults);
        constexpr int kUploads = 8;
        std::vector<std::string> saved(kUploads);
        std::vector<std::thread> uploads;
        for (int i = 0; i < kUploads; ++i) {
            uploads.emplace_back([&, i] {
                Part part{"doc", "same.bin", "application/octet-stream", std::string(64 << 10, static_cast<char>('a' + i))};
                saved[i] = Field(Post("/up.tsm", {part}).body, "saved");
            });
        }
        for (auto& upload : uploads) upload.join();
        for (const std::string& answer : saved) EXPECT_EQ(answer, "Yes");
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(folder)) files += entry.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, std::string(rule) == "MAKEUNIQUE" ? kUploads : 1u);
    }
}

TEST_F(FileTagThroughWebServer, NameConflictModesOnAnExistingFile) {
    WriteFileText(folder + "/report.txt", "old text");
    Part part{"doc", "notes.txt", "application/octet-stream", "new text"};
    std::string destination = "DESTINATION=\"" + folder + "/report.txt\" ";

    auto error = Upload(destination, part);
    EXPECT_THAT(error.body, HasSubstr("The file 'report.txt' could not be uploaded because a file of that name already "
                                      "exists"));
    EXPECT_EQ(ReadFileText(folder + "/report.txt"), "old text");

    auto skip = Upload(destination + "NAMECONFLICT=\"skip\"", part);
    EXPECT_EQ(Field(skip.body, "existed"), "Yes") << skip.body;
    EXPECT_EQ(Field(skip.body, "saved"), "No");
    EXPECT_EQ(Field(skip.body, "server"), "");
    EXPECT_EQ(Field(skip.body, "old"), "8");
    EXPECT_EQ(ReadFileText(folder + "/report.txt"), "old text");

    auto overwrite = Upload(destination + "NAMECONFLICT=\"OVERWRITE\"", part);
    EXPECT_EQ(Field(overwrite.body, "overwritten"), "Yes") << overwrite.body;
    EXPECT_EQ(Field(overwrite.body, "saved"), "Yes");
    EXPECT_EQ(Field(overwrite.body, "appended"), "No");
    EXPECT_EQ(Field(overwrite.body, "server"), "report.txt");
    EXPECT_EQ(Field(overwrite.body, "name"), "report");
    EXPECT_EQ(Field(overwrite.body, "ext"), "txt");
    EXPECT_EQ(Field(overwrite.body, "attempted"), "report.txt");
    EXPECT_EQ(Field(overwrite.body, "old"), "8");
    EXPECT_EQ(Field(overwrite.body, "size"), "8");
    EXPECT_EQ(Field(overwrite.body, "modified").rfind("{ts '", 0), 0u) << overwrite.body;
    EXPECT_EQ(Field(overwrite.body, "accessed").rfind("{d '", 0), 0u) << overwrite.body;
    EXPECT_EQ(ReadFileText(folder + "/report.txt"), "new text");

    auto unique = Upload(destination + "NAMECONFLICT=\"MakeUnique\"", part);
    EXPECT_EQ(Field(unique.body, "renamed"), "Yes") << unique.body;
    EXPECT_EQ(Field(unique.body, "attempted"), "report.txt");
    EXPECT_EQ(Field(unique.body, "ext"), "txt");
    EXPECT_EQ(ReadFileText(folder + "/" + Field(unique.body, "server")), "new text");

    auto bad = Upload(destination + "NAMECONFLICT=\"REPLACE\"", part);
    EXPECT_THAT(bad.body,
                HasSubstr("The value you have specified for the NAMECONFLICT attribute (REPLACE) is invalid."));
}

// A site in folders with capitals: the template's path is the one on disk, an upload keeps the
// browser's name, and the page's link to it finds it.
TEST_F(FileTagThroughWebServer, PathsKeepTheCaseOfTheDisk) {
    site.WriteDocument("Site/Guest/index.tsm",
                       "<TSFILE ACTION=\"UPLOAD\" FILEFIELD=\"doc\" DESTINATION=\"#ExpandPath('uploads')#/\"\n"
                       "        ACCEPT=\"image/*\" NAMECONFLICT=\"OVERWRITE\">\n"
                       "<TSOUTPUT><IMG SRC=\"uploads/#HTMLEditFormat(File.ServerFile)#\"></TSOUTPUT>\n"
                       "<TSOUTPUT>template=#GetTemplatePath()#|dir=#GetDirectoryFromPath(GetTemplatePath())#|"
                       "expanded=#ExpandPath('uploads/avatar.png')#|server=#File.ServerFile#|</TSOUTPUT>");
    const std::string guest = site.document_root() + "/Site/Guest";
    fs::create_directories(guest + "/uploads");
    site.GiveToEngineAccount(guest);
    std::string contentType;
    // A picture whose bytes say it is one (the content is checked against the type).
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "avatar";
    for (int round = 0; round < 2; ++round) {
        std::string body = MultipartBody({{"doc", "C:\\Pictures\\avatar.png", "image/png", png}}, &contentType);
        auto page = e2e::HttpRequest(site.port(), "POST", "/Site/Guest/index.tsm", {"Content-Type: " + contentType},
                                     body);
        ASSERT_EQ(page.status, 200) << page.error << page.body;
        EXPECT_EQ(Field(page.body, "template"), guest + "/index.tsm") << page.body;
        EXPECT_EQ(Field(page.body, "dir"), guest + "/") << page.body;
        EXPECT_EQ(Field(page.body, "expanded"), guest + "/uploads/avatar.png") << page.body;
        EXPECT_EQ(Field(page.body, "server"), "avatar.png") << page.body;
        EXPECT_THAT(page.body, HasSubstr("<IMG SRC=\"uploads/avatar.png\">"));
    }
    EXPECT_EQ(ReadFileText(guest + "/uploads/avatar.png"), png);
    EXPECT_FALSE(fs::exists(guest + "/uploads/AVATAR.PNG"));
    auto picture = e2e::HttpGet(site.port(), "/Site/Guest/uploads/avatar.png");
    EXPECT_EQ(picture.status, 200) << picture.error;
    EXPECT_EQ(picture.body, png);
}

TEST_F(FileTagThroughWebServer, DestinationFoldersAndNamesWithoutExtension) {
    // A folder whose path has a dot elsewhere is still the folder.
    std::string dotted = folder + "/example.com/uploads";
    fs::create_directories(dotted);
    Part part{"doc", "README", "application/octet-stream", "readme"};
    auto response = Upload("DESTINATION=\"" + dotted + "\"", part);
    EXPECT_EQ(Field(response.body, "server"), "README") << response.body;
    EXPECT_EQ(Field(response.body, "client"), "README");
    EXPECT_EQ(ReadFileText(dotted + "/README"), "readme");
    EXPECT_FALSE(fs::exists(dotted + "/README."));

    auto missing = Upload("DESTINATION=\"" + folder + "/nowhere\"", part);
    EXPECT_THAT(missing.body, HasSubstr("The directory specified in the DESTINATION attribute of the TSFILE tag"));
    auto noField = Upload("FILEFIELD=\"other\" DESTINATION=\"" + folder + "\"", part);
    EXPECT_THAT(noField.body, HasSubstr("The form field specified in the TSFILE tag (other) does not contain an "
                                        "uploaded file."));
    auto empty = Upload("DESTINATION=\"" + folder + "\"", Part{"doc", "empty.txt", "text/plain", ""});
    EXPECT_THAT(empty.body, HasSubstr("No data was received in the uploaded file"));
}

TEST_F(FileTagThroughWebServer, AcceptListsTypesAndChecksWhatTheContentIs) {
    const std::string accept =
        "DESTINATION=\"" + folder + "\" NAMECONFLICT=\"MAKEUNIQUE\" ACCEPT=\"image/*, text/plain\"";
    struct Case {
        std::string contentType, data;
        bool accepted;
    } cases[] = {
        {"image/gif", "GIF89a....", true},
        {"TEXT/PLAIN", "plain words", true},
        {"text/html", "<p>page</p>", false},
        // Declared a GIF, but its bytes say otherwise.
        {"image/gif", "<script>", false},
        {"image/png", "\x89PNG\r\n\x1a\n....", true},
    };
    for (const Case& c : cases) {
        auto response = Upload(accept, Part{"doc", "x.dat", c.contentType, c.data});
        if (c.accepted) {
            EXPECT_EQ(Field(response.body, "saved"), "Yes") << c.contentType << response.body;
            std::string upper = c.contentType;
            for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            EXPECT_EQ(Field(response.body, "type"), upper);
        } else {
            std::string upper = c.contentType;
            for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            EXPECT_THAT(response.body,
                        HasSubstr("The MIME type of the uploaded file (" + upper + ") was not accepted by the server."))
                << c.contentType;
        }
    }
    auto malformed =
        Upload("DESTINATION=\"" + folder + "\" ACCEPT=\"image\"", Part{"doc", "a.gif", "image/gif", "GIF8"});
    EXPECT_THAT(malformed.body,
                HasSubstr("Invalid MIME type specification (image) used in ACCEPT attribute of the TSFILE "
                          "tag."));
}

TEST_F(FileTagThroughWebServer, WriteAppendReadCopyMoveRenameAndDeleteInsideTheFolder) {
    auto Run = [&](const std::string& text, const std::string& query = "") { return Page("act.tsm", text, query); };
    const std::string f = folder + "/";
    auto write = Run("<TSFILE ACTION=\"WRITE\" FILE=\"" + f +
                         "#URL.f#\" OUTPUT=\"first\">"
                         "<TSFILE ACTION=\"Append\" FILE=\"" +
                         f + "#URL.f#\" OUTPUT=\"second\">done",
                     "f=log.txt");
    EXPECT_EQ(write.body, "done") << write.body;
    EXPECT_EQ(ReadFileText(f + "log.txt"), "first\nsecond\n");

    WriteFileText(f + "nul.bin", std::string("before\0after", 12));
    auto read = Run("<TSFILE ACTION=\"READ\" FILE=\"" + f +
                    "log.txt\" VARIABLE=\"x\">"
                    "<TSFILE ACTION=\"READ\" FILE=\"" +
                    f +
                    "nul.bin\" VARIABLE=\"y\">"
                    "<TSOUTPUT>[#x#][#y#][#File.ServerFile#]</TSOUTPUT>");
    EXPECT_EQ(read.body, "[first\nsecond\n][before][]");

    auto copy = Run("<TSFILE ACTION=\"COPY\" SOURCE=\"" + f +
                    "log.txt\" DESTINATION=\"copy.txt\">"
                    "<TSFILE ACTION=\"RENAME\" SOURCE=\"" +
                    f +
                    "copy.txt\" DESTINATION=\"renamed.txt\">"
                    "ok");
    EXPECT_EQ(copy.body, "ok") << copy.body;
    EXPECT_EQ(ReadFileText(f + "renamed.txt"), "first\nsecond\n");
    EXPECT_FALSE(fs::exists(f + "copy.txt"));

    // A destination naming a folder keeps the name; names without extension keep theirs.
    fs::create_directories(f + "sub");
    WriteFileText(f + "README", "r");
    auto move = Run("<TSFILE ACTION=\"MOVE\" SOURCE=\"" + f + "renamed.txt\" DESTINATION=\"" + f +
                    "sub/\">"
                    "<TSFILE ACTION=\"MOVE\" SOURCE=\"" +
                    f + "README\" DESTINATION=\"" + f +
                    "sub\">"
                    "<TSFILE ACTION=\"COPY\" SOURCE=\"" +
                    f + "sub/README\" DESTINATION=\"" + f + "LICENSE\">ok");
    EXPECT_EQ(move.body, "ok") << move.body;
    EXPECT_EQ(ReadFileText(f + "sub/renamed.txt"), "first\nsecond\n");
    EXPECT_EQ(ReadFileText(f + "sub/README"), "r");
    EXPECT_EQ(ReadFileText(f + "LICENSE"), "r");
    EXPECT_FALSE(fs::exists(f + "LICENSE."));

    auto remove = Run("<TSFILE ACTION=\"DELETE\" FILE=\"" + f + "sub/renamed.txt\">ok");
    EXPECT_EQ(remove.body, "ok") << remove.body;
    EXPECT_FALSE(fs::exists(f + "sub/renamed.txt"));

    WriteFileText(f + "tsfile.log", "kept");
    auto log = Run("<TSFILE ACTION=\"DELETE\" FILE=\"" + f + "TSFile.Log\">");
    EXPECT_THAT(log.body, HasSubstr("Tessaro does not allow deletion of files with that name."));
    auto missing = Run("<TSFILE ACTION=\"READ\" FILE=\"" + f + "none.txt\" VARIABLE=\"x\">");
    EXPECT_THAT(missing.body, HasSubstr("was not found.Please verify that the source file exists before using it in a "
                                        "READ action."));
    auto bad = Run("<TSFILE ACTION=\"SHRED\" FILE=\"" + f + "LICENSE\">");
    EXPECT_THAT(bad.body,
                HasSubstr("(valid attributes are UPLOAD, WRITE, APPEND, READ, COPY, MOVE, RENAME, and DELETE)."));
    auto noVariable = Run("<TSFILE ACTION=\"READ\" FILE=\"" + f + "LICENSE\">");
    EXPECT_THAT(noVariable.body,
                HasSubstr("The VARIABLE attribute of the TSFILE tag is required when ACTION=\"READ\"."));
}

TEST_F(FileTagThroughWebServer, EveryActionRefusesPathsThatClimbOutOfTheFolder) {
    const std::string f = folder + "/";
    WriteFileText(f + "inside.txt", "inside");
    const std::string templates[] = {
        "<TSFILE ACTION=\"READ\" FILE=\"" + f + "#URL.f#\" VARIABLE=\"x\"><TSOUTPUT>#x#</TSOUTPUT>",
        "<TSFILE ACTION=\"WRITE\" FILE=\"" + f + "#URL.f#\" OUTPUT=\"owned\">",
        "<TSFILE ACTION=\"APPEND\" FILE=\"" + f + "#URL.f#\" OUTPUT=\"owned\">",
        "<TSFILE ACTION=\"DELETE\" FILE=\"" + f + "#URL.f#\">",
        "<TSFILE ACTION=\"COPY\" SOURCE=\"" + f + "#URL.f#\" DESTINATION=\"" + f + "copied.txt\">",
        "<TSFILE ACTION=\"COPY\" SOURCE=\"" + f + "inside.txt\" DESTINATION=\"" + f + "#URL.f#\">",
        "<TSFILE ACTION=\"MOVE\" SOURCE=\"" + f + "#URL.f#\" DESTINATION=\"" + f + "moved.txt\">",
        "<TSFILE ACTION=\"MOVE\" SOURCE=\"" + f + "inside.txt\" DESTINATION=\"" + f + "#URL.f#\">",
        "<TSFILE ACTION=\"RENAME\" SOURCE=\"" + f + "inside.txt\" DESTINATION=\"#URL.f#\">",
    };
    const std::string escapes[] = {
        "../secret.txt",
        "..%2Fsecret.txt",
        "%2e%2e/secret.txt",
        "%2E%2E%2F..%2Fetc%2Fpasswd",
        "sub//..//secret.txt",
        "..%5C..%5Csecret.txt",
        "a%5C%5Cb.txt",
        "%252e%252e%252fsecret.txt",
        "../../../../../../etc/passwd",
    };
    std::set<std::string> before = FilesBelow(site.document_root());
    for (const std::string& text : templates) {
        site.WriteDocument("escape.tsm", text);
        for (const std::string& escape : escapes) {
            auto response = site.Get("/escape.tsm?f=" + escape);
            EXPECT_EQ(response.status, 500) << response.error;
            EXPECT_THAT(response.body, HasSubstr("Error processing TSFILE tag")) << text << " " << escape;
            EXPECT_THAT(response.body, HasSubstr("is illegal.Path specifications cannot include any of the following "
                                                 "sequences of characters: '..', '//', or '\\\\'."))
                << text << " " << escape;
            EXPECT_THAT(response.body, Not(HasSubstr("root:"))) << escape;
            EXPECT_THAT(response.body, Not(HasSubstr(">secret"))) << escape;
        }
    }
    before.insert(site.document_root() + "/escape.tsm");
    EXPECT_EQ(FilesBelow(site.document_root()), before);
    EXPECT_EQ(ReadFileText(outside), "secret");
    EXPECT_EQ(ReadFileText(f + "inside.txt"), "inside");

    // An upload destination built from the request cannot climb out either.
    for (const std::string& escape : {std::string("..%2F"), std::string("%2e%2e"), std::string("..%5C")}) {
        auto upload = Upload("DESTINATION=\"" + f + "#URL.f#\" NAMECONFLICT=\"OVERWRITE\"",
                             Part{"doc", "secret.txt", "text/plain", "owned"}, "f=" + escape);
        EXPECT_THAT(upload.body, HasSubstr("is illegal.Path specifications")) << escape;
    }
    for (const std::string& escape : escapes) {
        auto upload = Upload("DESTINATION=\"" + f + "#URL.f#\" NAMECONFLICT=\"OVERWRITE\"",
                             Part{"doc", "secret.txt", "text/plain", "owned"}, "f=" + escape);
        EXPECT_THAT(upload.body, HasSubstr("is illegal.Path specifications")) << escape;
    }
    EXPECT_EQ(ReadFileText(outside), "secret");
}

TEST_F(FileTagThroughWebServer, UploadWithoutAFileOrAFolderIsAnErrorInTheTag) {
    struct Case {
        const char* name;
        std::string attributes;
        Part part;
        const char* detail;
    } cases[] = {
        {"plain field", "DESTINATION=\"" + folder + "\"", Part{"doc", "", "", "just text"},
         ") does not contain an uploaded file."},
        {"missing folder", "DESTINATION=\"" + folder + "/none/\"", Part{"doc", "a.txt", "text/plain", "x"},
         ") is not valid. The directory either does not exist"},
    };
    for (const Case& c : cases) {
        auto response = Upload(c.attributes, c.part);
        EXPECT_EQ(response.status, 500) << c.name << response.error;
        EXPECT_THAT(response.body, HasSubstr("Error in TSFILE tag")) << c.name;
        EXPECT_THAT(response.body, Not(HasSubstr("Error processing TSFILE tag"))) << c.name;
        EXPECT_THAT(response.body, HasSubstr(c.detail)) << c.name;
    }
}

TEST_F(FileTagThroughWebServer, RuntimeRootFilesAreOutOfReach) {
    auto response = Page("reg.tsm", "<TSFILE ACTION=\"READ\" FILE=\"" + site.home() +
                                        "/registry.db\" VARIABLE=\"x\">"
                                        "<TSOUTPUT>#x#</TSOUTPUT>");
    EXPECT_THAT(response.body, HasSubstr("Error processing TSFILE tag"));
    EXPECT_THAT(response.body, Not(HasSubstr("SQLite")));
}

TEST_F(FileTagThroughWebServer, DisabledByTheAdministratorAndLoggedWhenAsked) {
    ASSERT_TRUE(e2e::Site::SetSetting("Logging", "LogTSFILEActions", "1"));
    auto logged = Page("w.tsm", "<TSFILE ACTION=\"WRITE\" FILE=\"" + folder + "/a.txt\" OUTPUT=\"x\">ok");
    EXPECT_EQ(logged.body, "ok") << logged.body;
    std::string log = site.ReadHomeFile("log/TSFILE.LOG");
    EXPECT_THAT(log, HasSubstr("WRITE (File: " + folder + "/a.txt, Remote Address: 127.0.0.1, Template: "));

    ASSERT_TRUE(e2e::Site::SetSetting("Server", "EnableTSFILE", "0"));
    auto disabled = Page("w.tsm", "<TSFILE ACTION=\"WRITE\" FILE=\"" + folder + "/b.txt\" OUTPUT=\"x\">ok");
    EXPECT_THAT(disabled.body, HasSubstr("TSFILE tag disabled for this server"));
    EXPECT_FALSE(fs::exists(folder + "/b.txt"));
}

}  // namespace
