// When the tag families' actions run, seen on whole pages: conditional blocks
// are counted while their output is off, loops are counted while a loop body is
// skipped, and nothing else acts in either case.
#include <gtest/gtest.h>

#include <string>

#include "engine/templates/template_page.h"
#include "template_test_site.h"

namespace {

class TagPhasesPage : public TemplateSite {};

TEST_F(TagPhasesPage, TagsActOnlyWhereTheirPhaseAllows) {
    struct Case {
        const char* name;
        const char* page;
        const char* body;
    } cases[] = {
        {"nested conditional counted while output is off", "<TSIF FALSE><TSIF TRUE>x</TSIF>y</TSIF>z", "z"},
        {"else of a nested conditional while output is off",
         "<TSIF FALSE><TSIF TRUE>x<TSELSE>w</TSIF>y<TSELSE>v</TSIF>", "v"},
        {"loop inside a false conditional neither runs nor counts",
         "<TSIF FALSE><TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"2\">x</TSLOOP></TSIF>after", "after"},
        {"nested loop counted inside a skipped body",
         "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"0\">a<TSLOOP INDEX=\"j\" FROM=\"1\" TO=\"2\">b</TSLOOP>c</TSLOOP>end",
         "end"},
        {"conditional inside a skipped body is not counted",
         "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"0\"><TSIF TRUE>a</TSIF></TSLOOP>end", "end"},
        {"file tag under a false condition does nothing",
         "<TSIF FALSE><TSFILE ACTION=\"READ\" FILE=\"x\" VARIABLE=\"v\"></TSIF>ok", "ok"},
        {"unsupported tag in a skipped body does nothing",
         "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"0\"><TSTRANSACTION>x</TSTRANSACTION></TSLOOP>ok", "ok"},
        {"header under a false condition is not added", "<TSIF FALSE><TSHEADER NAME=\"X-A\" VALUE=\"1\"></TSIF>ok",
         "ok"},
    };
    for (const Case& c : cases) {
        Write("page.tsm", c.page);
        PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
        ASSERT_FALSE(out.failed) << c.name << ": " << out.title << out.detail;
        EXPECT_EQ(out.body, c.body) << c.name;
    }
}

TEST_F(TagPhasesPage, ReportTagStopsThePageWhereOutputIsOn) {
    // A missing report file fails at its attribute, before anything is handed on.
    Write("page.tsm", "<TSIF TRUE><TSREPORT REPORT=\"r\"></TSREPORT></TSIF>");
    PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_EQ(out.title, "Error processing TSREPORT tag<P>");
    Write("page.tsm", "<TSIF FALSE><TSREPORT REPORT=\"r\"></TSREPORT></TSIF>ok");
    PageOutcome off = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_FALSE(off.failed) << off.title << off.detail;
    EXPECT_EQ(off.body, "ok");
}

}  // namespace
