#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/byte_buffer.h"
#include "engine/server/multipart_parser.h"
#include "engine/server/request_reader.h"
#include "support/web_exception.h"
#include "tests/common/server_test_home.h"

namespace {

class BodyReader : public CRequestReader {
protected:
    void ReadEnvironment() override {}
    void ReadContent(CByteBuffer&) override {}
};

struct Section {
    std::string header;  // lines after the delimiter's line end, without the blank line
    std::string data;
};

std::string Body(const std::string& boundary, const std::vector<Section>& sections, bool close = true) {
    std::string b = "preamble\r\n";
    for (const auto& s : sections) b += "--" + boundary + "\r\n" + s.header + "\r\n\r\n" + s.data + "\r\n";
    b += "--" + boundary + (close ? "--\r\nepilogue" : "");
    return b;
}

class MultipartTest : public ServerTestHome {
protected:
    // The title and detail of the parse's exception, empty when none.
    std::pair<std::string, std::string> ParseError(const std::string& body, const std::string& boundary = "XyZ") {
        CMultipartParser parser(reader);
        try {
            parser.Parse(body.data(), body.size(), boundary);
        } catch (CWebException* e) {
            std::pair<std::string, std::string> r{e->GetMessage(), e->GetDetail()};
            e->Delete();
            return r;
        }
        return {};
    }
    size_t TempFiles() const {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(home() + "/tmp"))
            if (e.path().filename().string().rfind("BTS", 0) == 0) ++n;
        return n;
    }
    BodyReader reader;
};

}  // namespace

TEST_F(MultipartTest, PlainFieldsJoinAndNamesAreDecoded) {
    std::string body = Body("XyZ", {{"Content-Disposition: form-data; name=\"first+name\"", "Ann"},
                                    {"Content-Disposition: form-data; name=\"a\"", "1"},
                                    {"Content-Disposition: form-data; name=\"a\"", "2"}});
    EXPECT_EQ(ParseError(body).first, "");
    EXPECT_EQ(reader.GetFormField("FIRST NAME"), "Ann");
    EXPECT_EQ(reader.GetFormField("A"), "1,2");
    EXPECT_FALSE(reader.HasFormField("FIELDNAMES"));
}

TEST_F(MultipartTest, FileSectionIsSplitAndKeptForTheRequest) {
    std::string body =
        Body("XyZ", {{"Content-Disposition: form-data; name=\"Photo\"; filename=\"C:\\My Docs\\Cat.GIF\"\r\n"
                      "Content-Type: image/gif",
                      std::string("GIF89a\0\1", 8)}});
    ASSERT_EQ(ParseError(body).first, "");
    CUploadedFile* f = reader.GetFormFields().GetFilePath("photo");
    ASSERT_NE(f, nullptr);
    // The name keeps its case (a disk that tells cases apart keeps it too); the type is a name.
    EXPECT_EQ(f->ClientDirectory, "C:\\My Docs");
    EXPECT_EQ(f->ClientFileName, "Cat");
    EXPECT_EQ(f->ClientFileExt, "GIF");
    EXPECT_EQ(f->ContentType, "IMAGE");
    EXPECT_EQ(f->ContentSubType, "GIF");
    EXPECT_EQ(reader.GetFormField("PHOTO"), f->TempFilePath);
    EXPECT_EQ(std::filesystem::file_size(f->TempFilePath), 8u);
    EXPECT_EQ(TempFiles(), 1u);
}

TEST_F(MultipartTest, TextUploadHoldsItsContentsAndEmptyUploadHasNoFile) {
    std::string body = Body("XyZ", {{"Content-Disposition: form-data; name=\"notes\"; filename=\"n.txt\"\r\n"
                                     "Content-Type: text/plain",
                                     "line one\r\nline two"},
                                    {"Content-Disposition: form-data; name=\"empty\"; filename=\"e.bin\"", ""}});
    ASSERT_EQ(ParseError(body).first, "");
    EXPECT_EQ(reader.GetFormField("NOTES"), "line one\r\nline two");
    ASSERT_NE(reader.GetFormFields().GetFilePath("EMPTY"), nullptr);
    EXPECT_EQ(reader.GetFormFields().GetFilePath("EMPTY")->TempFilePath, "");
    EXPECT_TRUE(reader.HasFormField("EMPTY"));
}

TEST_F(MultipartTest, DuplicateFileFieldIsLoggedAndTheFirstStays) {
    std::string body = Body("XyZ", {{"Content-Disposition: form-data; name=\"photo\"; filename=\"a.gif\"", "first"},
                                    {"Content-Disposition: form-data; name=\"photo\"; filename=\"b.gif\"", "second"}});
    ASSERT_EQ(ParseError(body).first, "");
    CUploadedFile* f = reader.GetFormFields().GetFilePath("PHOTO");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->ClientFileName, "a");
    EXPECT_EQ(TempFiles(), 1u);
    EXPECT_NE(ReadLog().find("Duplicate file form field name detected (field='PHOTO')"), std::string::npos);
}

TEST_F(MultipartTest, FilenameBeforeNameStillFindsTheName) {
    std::string body = Body("XyZ", {{"Content-Disposition: form-data; filename=\"x.txt\"; name=\"y\"", "data"}});
    ASSERT_EQ(ParseError(body).first, "");
    EXPECT_NE(reader.GetFormFields().GetFilePath("Y"), nullptr);
    EXPECT_EQ(reader.GetFormFields().GetFilePath("X"), nullptr);
}

TEST_F(MultipartTest, MalformedBodies) {
    struct Case {
        std::string body;
        std::string title;
        std::string detailStart;
    } cases[] = {
        {"no marker here", "Invalid multi-part data.<P>",
         "The multi-part boundary marker is not present in the posted data."},
        {"--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nvalue without end", "Invalid multipart data.<P>",
         "No Delimiter marked the end of the data segment in the final 17 bytes. (Delimiter = '--XyZ'.)"},
        {"--XyZ\r\nContent-Disposition: form-data; name=\"a\"", "Invalid multipart data.<P>",
         "Unable to locate the end of the header in the final"},
        {Body("XyZ", {{"Content-Disposition: form-data", "v"}}), "Invalid MIME section.<P>",
         "The section header lacks a name attribute."},
        {Body("XyZ", {{"Content-Disposition: form-data; name=\"f\"; filename=\"a\"\r\nContent-Type: text", "v"}}),
         "Invalid MIME type declaration.<P>",
         "The MIME content declaration, 'TEXT', must specify both a type and a sub-type (e.g., 'text/plain')."},
        {Body("XyZ", {{"Content-Disposition: form-data; name=\"f\"; filename=\"a\"\r\nContent-Type: /plain", "v"}}),
         "Invalid MIME type declaration.<P>", "The MIME content declaration, '/PLAIN'"},
        // A delimiter right after the header's end leaves no room for the line end.
        {"--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n--XyZ--", "Invalid multipart data.<P>", ""},
    };
    for (const auto& c : cases) {
        BodyReader fresh;
        CMultipartParser parser(fresh);
        std::string title, detail;
        try {
            parser.Parse(c.body.data(), c.body.size(), "XyZ");
        } catch (CWebException* e) {
            title = e->GetMessage();
            detail = e->GetDetail();
            e->Delete();
        }
        EXPECT_EQ(title, c.title) << c.body;
        EXPECT_EQ(detail.rfind(c.detailStart, 0), 0u) << detail;
    }
}

TEST_F(MultipartTest, BoundaryCaseIsKeptAndEpilogueIgnored) {
    std::string body = Body("aBc", {{"Content-Disposition: form-data; name=\"k\"", "v"}});
    EXPECT_EQ(ParseError(body, "aBc").first, "");
    EXPECT_EQ(reader.GetFormField("K"), "v");
    BodyReader other;
    CMultipartParser parser(other);
    EXPECT_THROW(
        {
            try {
                parser.Parse(body.data(), body.size(), "ABC");
            } catch (CWebException* e) {
                e->Delete();
                throw std::runtime_error("rejected");
            }
        },
        std::runtime_error);
}

TEST_F(MultipartTest, TemporaryFilesGoWithTheReader) {
    {
        BodyReader scoped;
        CMultipartParser parser(scoped);
        std::string body = Body("XyZ", {{"Content-Disposition: form-data; name=\"f\"; filename=\"a.bin\"", "abc"}});
        parser.Parse(body.data(), body.size(), "XyZ");
        EXPECT_EQ(TempFiles(), 1u);
    }
    EXPECT_EQ(TempFiles(), 0u);
}
