// The template run under mutated input: the guide's example templates, changed a few thousand
// times from a fixed seed, each run as a requested page. A page ends with its text or with the
// engine's error (CWebException); a crash or a sanitizer report (sanitizer build) is a finding.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/templates/template_page.h"
#include "template_test_site.h"
#include "tests/common/fuzz_mutator.h"

namespace {

class TemplateRunFuzz : public TemplateSite {};

const std::vector<std::string> kTemplateWords = {
    "<TSOUTPUT>", "</TSOUTPUT>", "<TSIF ", "<TSIF #x# IS 3>", "<TSELSE>", "<TSELSEIF FALSE>", "</TSIF>",
    "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\">", "<TSLOOP LIST=\"a,b\" INDEX=\"i\">", "<TSLOOP CONDITION=\"",
    "</TSLOOP>", "<TSBREAK>", "<TSSET x = 1>", "<TSSET ", "<TSPARAM NAME=\"y\" DEFAULT=\"2\">", "<TSINCLUDE TEMPLATE=\"",
    "<TSQUERY NAME=\"q\" DATASOURCE=\"none\">", "</TSQUERY>", "<TSTABLE QUERY=\"q\">", "<TSCOL ", "</TSTABLE>",
    "<TSCOOKIE NAME=\"c\" VALUE=\"", "<TSHEADER NAME=\"X-A\" VALUE=\"", "<TSLOCATION URL=\"", "<TSABORT>",
    "<TSAPPLICATION NAME=\"a\">", "<TSERROR TYPE=\"REQUEST\" TEMPLATE=\"", "#", "##", "\"", "'", ">", "<", "</",
    "#x#", "#URL.a#", "#Evaluate(URL.a)#", "#Left(URL.a, 2)#", "#RepeatString(\"ab\", 3)#", "&", "=", "\n"};

TEST_F(TemplateRunFuzz, MutatedGuideTemplatesEndInAPageOrTheEnginesError) {
    std::vector<std::string> seeds;
    // Templates that reach files of the machine stay out of the seeds; TSFILE is off as well.
    for (const std::string& block : tessaro::test::GuideExampleBlocks())
        if (block.find("GetTempFile") == std::string::npos) seeds.push_back(block);
    ASSERT_GE(seeds.size(), 20u) << "the guide's examples are the seeds";
    Set("Server", "EnableTSFILE", "0");
    // An endless loop of a mutated template ends at the request's time limit.
    Set("Server", "MaxSeconds", "1");
    Write("inc.tsm", "included #x#");
    // Results stay small, so the cases stay fast.
    Set("Server", "MaxFunctionResultBytes", "65536");
    tessaro::test::FuzzMutator mutator(20261211, seeds, kTemplateWords);
    int pages = 0, errors = 0;
    const int ran = tessaro::test::RunFuzzCases(3000, std::chrono::seconds(30), [&](int n) {
        Write("fuzz.tsm", mutator.Next());
        PageOutcome out = RunPage<CQueryPage>(Script("/fuzz.tsm", "a=%3Cb%3E%27x&x=3"));
        (out.failed ? errors : pages)++;
        static_cast<void>(n);
    });
    EXPECT_GE(ran, 300) << "too few cases in the time given";
    EXPECT_GT(pages, 0);
    EXPECT_GT(errors, 0);
}

}  // namespace
