#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/templates/pages/get_graphic_page.h"
#include "engine/templates/template_page.h"
#include "template_test_site.h"

namespace {

using ::testing::HasSubstr;

class GraphicPage : public TemplateSite {
protected:
    std::string Graphic(const std::string& name, const std::string& bytes) {
        std::filesystem::create_directories(GraphicDirectory());
        std::string path = GraphicDirectory() + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

TEST_F(GraphicPage, ServesAnImageOnceAndDeletesIt) {
    std::string path = Graphic("chart.JPG", "jpegbytes");
    TestRequest request(std::map<std::string, std::string>{{"QUERY_STRING", "action=GetGraphic&FILE=chart.JPG"}});
    request.ParseCgiEnvironment();
    NullChannel channel;
    CReplyWriter writer(&channel);
    CGetGraphicPage page;
    page.Run(nullptr, settings(), &request, &writer);
    writer.Finish();
    EXPECT_FALSE(page.HasRun());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(GraphicPage, RefusesAnythingButAPlainImageName) {
    std::string secret = Graphic("REQUEST.DAT", "user=sa;password=x");
    Graphic("a.gif", "gif");
    const std::pair<const char*, const char*> cases[] = {
        {"", "FILE parameter not specified for GetGraphic action<P>"},
        {"REQUEST.DAT", "Error in GetGraphic action<P>"},
        {"x/../../etc/passwd.gif", "Error in GetGraphic action<P>"},
        {"..\\a.gif", "Error in GetGraphic action<P>"},
        {"/a.gif", "Error in GetGraphic action<P>"},
        {"missing.png", "Error in GetGraphic action<P>"},
    };
    for (const auto& [file, title] : cases) {
        PageOutcome out = RunPage<CGetGraphicPage>({{"QUERY_STRING", std::string("FILE=") + file}});
        ASSERT_TRUE(out.failed) << file;
        EXPECT_EQ(out.title, title) << file;
    }
    EXPECT_TRUE(std::filesystem::exists(secret));
    PageOutcome missing = RunPage<CGetGraphicPage>({{"QUERY_STRING", "FILE=missing.png"}});
    EXPECT_THAT(missing.detail, HasSubstr("missing.png' was not found.<P>Please verify that this file exists"));
    EXPECT_TRUE(IsServableGraphicName("a.jpeg"));
    EXPECT_FALSE(IsServableGraphicName("gif"));
    EXPECT_FALSE(IsServableGraphicName("RESPONSE.INI"));
}

// Exposes the set-up and timer steps.
class TimedPage : public CQueryPage {
public:
    using CQueryPage::CQueryPage;
    void Prepare(CServerSettings* settings, CRequestReader* reader, CReplyWriter* writer) {
        Attach(nullptr, settings, reader, writer);
        SetRan(true);
        Setup();
    }
};

class SubstitutedPage : public CWebPage {
public:
    SubstitutedPage() { SetSubstitutionFile(path); }
    static inline std::string path;
};

class PageSteps : public TemplateSite {};

TEST_F(PageSteps, SubstitutionMarkersAreDroppedFromTheCopiedFile) {
    SubstitutedPage::path = Write("sub.htm", "a<<<@WEB_SUB:X>>>b\n<<<@WEB_SUB:Y>>>\nc<<<@WEB_SUB:open\n");
    PageOutcome out = RunPage<SubstitutedPage>({{"REMOTE_ADDR", "1.2.3.4"}});
    ASSERT_FALSE(out.failed) << out.title;
    EXPECT_EQ(out.body, "ab\n\nc<<<@WEB_SUB:open\n");

    // A marker far into a long line is still found.
    std::string lead(5000, 'x');
    SubstitutedPage::path = Write("long.htm", lead + "<<<@WEB_SUB:X>>>y\n");
    out = RunPage<SubstitutedPage>({{"REMOTE_ADDR", "1.2.3.4"}});
    EXPECT_EQ(out.body, lead + "y\n");
}

TEST_F(PageSteps, QueryDebugBlockOnlyForADebugClientWithLines) {
    for (const char* address : {"127.0.0.1", "10.9.8.7"}) {
        TestRequest request(std::map<std::string, std::string>{{"REMOTE_ADDR", address}});
        request.ParseCgiEnvironment();
        NullChannel channel;
        CReplyWriter writer(&channel);
        TimedPage page(services().Services());
        page.Prepare(settings(), &request, &writer);
        writer.BeginOutput();
        page.AddQueryDebugLine("select 1\n");
        page.Finish();
        std::string expected =
            std::string(address) == "127.0.0.1" ? "\n<P><HR><B>Queries</B><P><PRE>select 1\n</PRE>" : "";
        EXPECT_EQ(writer.GetBufferedBody(), expected) << address;
    }
}

class RequestTimer : public TemplateSite {
protected:
    // True when the page counts as timed out right after set-up, with the
    // message naming the limit.
    bool TimedOutAtOnce(const std::string& query, std::string* detail = nullptr) {
        TestRequest request(std::map<std::string, std::string>{{"QUERY_STRING", query}});
        request.ParseCgiEnvironment();
        NullChannel channel;
        CReplyWriter writer(&channel);
        TimedPage page(services().Services());
        page.Prepare(settings(), &request, &writer);
        bool timedOut = false;
        try {
            page.CheckRequestTimeout();
        } catch (CWebException* e) {
            timedOut = true;
            if (detail) *detail = e->GetDetail();
            e->Delete();
        }
        page.Finish();
        return timedOut;
    }
};

TEST_F(RequestTimer, ZeroNegativeOrTextFallsBackToTheServerLimit) {
    for (const char* query : {"REQUESTTIMEOUT=0", "REQUESTTIMEOUT=-5", "REQUESTTIMEOUT=abc", "", "REQUESTTIMEOUT=30",
                              "REQUESTTIMEOUT=99999999999999999999999"})
        EXPECT_FALSE(TimedOutAtOnce(query)) << query;
    Set("Server", "MaxSeconds", "0");
    EXPECT_FALSE(TimedOutAtOnce("REQUESTTIMEOUT=-1"));
    Set("Server", "LimitTime", "0");
    EXPECT_FALSE(TimedOutAtOnce("REQUESTTIMEOUT=1"));
}

TEST(ErrorPageDateTime, UsesTheShortNumericForm) {
    std::string text = ErrorPageDateTime();
    ASSERT_EQ(text.size(), 17u) << text;
    EXPECT_EQ(text[2], '/');
    EXPECT_EQ(text[5], '/');
    EXPECT_EQ(text[8], ' ');
    EXPECT_EQ(text[11], ':');
    EXPECT_EQ(text[14], ':');
}

}  // namespace
