#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "engine/templates/tags/tag_dispatch.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/grammar/template_symbols.h"

namespace {

namespace p = tessaro::grammar::template_grammar::production;

std::string FamilyOf(const CTagDispatchTable& table, std::uint32_t production) {
    const TagRoute* route = table.Find(production);
    return route == nullptr ? std::string() : table.Families()[route->family]->tags;
}

TEST(TagDispatchTest, TheListBuildsWithEveryProductionOwnedOnce) {
    EXPECT_NO_THROW(CTagDispatchTable{TagFamilies()});
}

TEST(TagDispatchTest, ProductionsReachTheirFamilyInTheirPhase) {
    const CTagDispatchTable& table = CTagDispatchTable::Instance();
    struct Case {
        std::uint32_t production;
        const char* family;
        TagPhase phase;
    } cases[] = {
        {p::item_Text, "template text and attribute values", TagPhase::Output},
        {p::quotedPart_DoubledQuote, "template text and attribute values", TagPhase::Output},
        {p::item_setTag, "TSSET", TagPhase::Output},
        {p::item_ifTag, "TSIF TSELSEIF TSELSE /TSIF", TagPhase::Conditional},
        {p::conditionPart_ConditionText, "TSIF TSELSEIF TSELSE /TSIF", TagPhase::Conditional},
        {p::item_loopStart_loopAttributesOpt_LoopEnd, "TSLOOP /TSLOOP TSBREAK", TagPhase::LoopBoundary},
        {p::item_EndLoopTag, "TSLOOP /TSLOOP TSBREAK", TagPhase::LoopBoundary},
        {p::item_BreakTag, "TSLOOP /TSLOOP TSBREAK", TagPhase::Output},
        {p::item_sqlStart_SqlAttribute_attributeValue_SqlEnd, "TSQUERY TSSQL /TSQUERY", TagPhase::Output},
        {p::sectionItem_BodyText, "TSOUTPUT", TagPhase::Output},
        {p::sectionAttribute_OutputSubject_attributeValue, "TSMAIL", TagPhase::Output},
        {p::item_AbortTag, "TSHEADER TSCONTENT TSLOCATION TSABORT", TagPhase::Output},
        {p::errorAttribute_ErrorTemplate_attributeValue, "TSPARAM TSERROR", TagPhase::Output},
        {p::cookieAttribute_CookieSecure, "TSCOOKIE", TagPhase::Output},
        {p::item_includeStart_includeAttributesOpt_IncludeEnd, "TSINCLUDE", TagPhase::Output},
        {p::applicationAttribute_ApplicationName_attributeValue, "TSAPPLICATION", TagPhase::Output},
        {p::fileAttribute_FileNameConflict_attributeValue, "TSFILE", TagPhase::Output},
        {p::extensionAttribute_ObjectFlag, "TSX", TagPhase::Output},
        {p::reportStart_ReportTag, "TSREPORT", TagPhase::Output},
        {p::item_transactionStart_transactionAttributesOpt_TransactionEnd, "TSTRANSACTION /TSTRANSACTION",
         TagPhase::Output},
        {p::item_EndTransactionTag, "TSTRANSACTION /TSTRANSACTION", TagPhase::Output},
        {p::columnAttribute_ColumnText_attributeValue, "TSTABLE TSCOL /TSTABLE", TagPhase::Output},
        {p::item_tableStart_tableAttributesOpt_TagClose_columns_EndTableTag, "TSTABLE TSCOL /TSTABLE",
         TagPhase::Output},
        {p::insertStart_UpdateTag, "TSINSERT TSUPDATE", TagPhase::Output},
        {p::item_insertStart_insertAttributesOpt_InsertEnd, "TSINSERT TSUPDATE", TagPhase::Output},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FamilyOf(table, c.production), c.family) << c.production;
        const TagRoute* route = table.Find(c.production);
        ASSERT_NE(route, nullptr) << c.production;
        EXPECT_EQ(route->action->phase, c.phase) << c.production;
    }
}

TEST(TagDispatchTest, StructuralProductionsAndNumbersBeyondTheGrammarHaveNoAction) {
    const CTagDispatchTable& table = CTagDispatchTable::Instance();
    for (std::uint32_t production : {p::start, p::items_items_item, p::loopAttributes_loopAttribute,
                                     p::queryAttributesOpt_empty, p::quotedPart_DoubledQuote + 1, 100000u})
        EXPECT_EQ(table.Find(production), nullptr) << production;
}

TEST(TagDispatchTest, OnlyTheQueryBlockInterceptsOtherProductions) {
    const CTagDispatchTable& table = CTagDispatchTable::Instance();
    ASSERT_EQ(table.Intercepting().size(), 1u);
    EXPECT_STREQ(table.Families()[table.Intercepting()[0]]->tags, "TSQUERY TSSQL /TSQUERY");
}

void Nothing(TagContext&) {}

TEST(TagDispatchTest, TwoFamiliesClaimingOneProductionAreRefusedByName) {
    constexpr TagAction first[] = {{p::item_BreakTag, Nothing}};
    constexpr TagAction second[] = {{p::item_AbortTag, Nothing}, {p::item_BreakTag, Nothing}};
    const TagFamily a{"TSFIRST", first};
    const TagFamily b{"TSSECOND", second};
    const TagFamily* const clash[] = {&a, &b};
    try {
        CTagDispatchTable table(clash);
        FAIL() << "the second claim was accepted";
    } catch (const std::logic_error& e) {
        EXPECT_NE(std::string(e.what()).find("TSFIRST"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("TSSECOND"), std::string::npos);
    }
    const TagFamily* const apart[] = {&b};
    CTagDispatchTable table(apart);
    EXPECT_EQ(FamilyOf(table, p::item_AbortTag), "TSSECOND");
    EXPECT_EQ(FamilyOf(table, p::item_BreakTag), "TSSECOND");
}

}  // namespace
