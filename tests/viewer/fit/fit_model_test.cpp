// The model file and the checks before a fit: the file read back as written, every kind of bad input
// refused with one message naming the component and parameter, links followed through chains, and
// the sensitivity table.
#include "viewer/fit/fit_test_util.h"
#include "viewer/fit/sensitivity_table.h"

namespace korvo::testing {
namespace {

using namespace fit;

const char* kExample = R"({
  "region": {"from": 280.0, "to": 295.0},
  "background": {"type": "linear"},
  "weights": "poisson",
  "components": [
    {"name": "C1", "shape": "pseudo_voigt", "position": 285.0, "fwhm": 1.2, "area": 5000, "eta": 0.3},
    {"name": "C2", "shape": "pseudo_voigt", "position": {"value": 286.5, "min": 286, "max": 287.5},
     "fwhm": "C1", "area": {"value": 1000, "min": 0}, "eta": {"value": 0.3, "fixed": true}}
  ]
})";

std::vector<SpectrumPoint> flat() {
    return sampled(280, 0.1, 151, [](double x) { return 100 + gaussian(x, 285, 1.2, 5000); });
}

TEST(FitModel, ReadsAndWritesTheFileItReads) {
    const FitModel m = modelFrom(kExample);
    ASSERT_EQ(m.components.size(), 2u);
    const Parameter& pos = m.components[1].parameter("position");
    EXPECT_EQ(pos.min, 286);
    EXPECT_EQ(pos.max, 287.5);
    EXPECT_EQ(m.components[1].parameter("fwhm").link, "C1");
    EXPECT_TRUE(m.components[1].parameter("eta").fixed);
    // Written and read again: the same model, the same text.
    FitModel more = m;
    more.axis = Axis::Binding;
    more.background.type = BackgroundType::Tougaard;
    more.background.tougaardB = 3000.5;
    more.components[0].element = "C";
    more.components[0].level = "1s";
    more.components[0].sensitivity = 0.296;
    more.components[1].parameter("area") = *[] {
        std::string e;
        return parseLink("C1 * 0.1", e);
    }();
    const std::string text = modelJson(more);
    const ModelRead again = readModelJson(text);
    ASSERT_TRUE(again.model) << again.error;
    EXPECT_EQ(modelJson(*again.model), text);
    EXPECT_NE(text.find("\"area\": \"C1 * 0.1\""), std::string::npos) << text;
}

TEST(FitModel, LinksParseStrictlyAndComposeThroughChains) {
    std::string error;
    const auto minus = parseLink(" C1 -0.6 ", error);
    ASSERT_TRUE(minus);
    EXPECT_EQ(minus->op, LinkOp::Add);
    EXPECT_EQ(minus->operand, -0.6);
    EXPECT_EQ(linkText(*minus), "C1 - 0.6");
    EXPECT_EQ(linkText(*parseLink("Fe2p3/2*-1.5", error)), "Fe2p3/2 * -1.5");
    for (const char* bad : {"", "C1 +", "C1 + -0.6", "C1 ^ 2", "C1 * 2 * 2", "+ 0.6", "C1 + 0,6", "C1 + nan"})
        EXPECT_FALSE(parseLink(bad, error)) << bad;

    // C3 = C2 * 2 and C2 = C1 + 1: C3 = 2 C1 + 2.
    const FitModel m = modelFrom(R"({"components": [
        {"name": "C1", "shape": "gaussian", "position": 280, "fwhm": 1, "area": 10},
        {"name": "C2", "shape": "gaussian", "position": "C1 + 1", "fwhm": 1, "area": 10},
        {"name": "C3", "shape": "gaussian", "position": "C2 * 2", "fwhm": 1, "area": "C2 - 4"}]})");
    const ResolvedLinks links = resolveLinks(m);
    ASSERT_TRUE(links.error.empty()) << links.error;
    const LinkRoot& r = links.roots[2][0];
    EXPECT_EQ(r.component, 0);
    EXPECT_EQ(r.scale, 2);
    EXPECT_EQ(r.offset, 2);
    const FitProblem pb = problemFor(m, sampled(270, 1, 600, [](double) { return 1.0; }));
    const std::vector<double> p = pb.startValues();
    EXPECT_EQ(componentValues(pb, 2, p.data())[0], 562);
    EXPECT_EQ(componentValues(pb, 2, p.data())[2], 6);
}

TEST(FitModel, BadInputIsRefusedWithOneMessageNamingTheField) {
    const std::vector<SpectrumPoint> pts = flat();
    const auto component = [](const std::string& c2) {
        return R"({"components": [{"name": "C1", "shape": "gaussian", "position": 285, "fwhm": 1.2, "area": 5000},)" +
               c2 + "]}";
    };
    struct Bad {
        std::string json;
        std::vector<std::string> said; // every one must be in the message
    };
    const std::vector<Bad> cases = {
        {component(R"({"name": "C2", "shape": "gauss", "position": 1, "fwhm": 1, "area": 1})"),
         {"\"C2\"", "\"gauss\""}},
        {component(
             R"({"name": "C2", "shape": "gaussian", "position": 286, "fwhm": 1, "area": 1, "fwhmm": 1})"),
         {"\"C2\"", "unknown field \"fwhmm\""}},
        {R"({"componets": []})", {"unknown field \"componets\""}},
        {component(
             R"({"name": "C2", "shape": "gaussian", "position": {"value": 290, "min": 286, "max": 287.5}, "fwhm": 1, "area": 1})"),
         {"\"C2\"", "\"position\"", "outside its bounds 286 to 287.5"}},
        {component(
             R"({"name": "C2", "shape": "gaussian", "position": {"value": 286, "min": 287, "max": 286}, "fwhm": 1, "area": 1})"),
         {"\"C2\"", "\"position\"", "min 287 lies above max 286"}},
        {component(R"({"name": "C2", "shape": "gaussian", "position": 286, "fwhm": 0, "area": 1})"),
         {"\"C2\"", "\"fwhm\"", "width"}},
        {component(R"({"name": "C2", "shape": "gaussian", "position": 286, "fwhm": "C1 - 2", "area": 1})"),
         {"\"C2\"", "\"fwhm\"", "width"}},
        {component(
             R"({"name": "C2", "shape": "pseudo_voigt", "position": 286, "fwhm": 1, "area": 1, "eta": 1.5})"),
         {"\"C2\"", "\"eta\""}},
        {component(R"({"name": "C2", "shape": "gaussian", "position": "C9 + 1", "fwhm": 1, "area": 1})"),
         {"\"C2\"", "\"position\"", "\"C9\""}},
        {component(
             R"({"name": "C2", "shape": "pseudo_voigt", "position": 286, "fwhm": 1, "area": 1, "eta": "C1"})"),
         {"\"C2\"", "\"eta\"", "without eta"}},
        {component(R"({"name": "C2", "shape": "gaussian", "position": "C3", "fwhm": 1, "area": 1},
                     {"name": "C3", "shape": "gaussian", "position": "C2 + 1", "fwhm": 1, "area": 1})"),
         {"\"position\"", "cycle", "C2 -> C3 -> C2"}},
        {component(R"({"name": "C2", "shape": "gaussian", "position": 286, "fwhm": 1, "area": "C2"})"),
         {"\"area\"", "cycle"}},
        {component(R"({"name": "C2", "shape": "pseudo_voigt", "position": 286, "fwhm": 1, "area": 1})"),
         {"\"C2\"", "\"eta\""}},
        {component(R"({"name": "C1", "shape": "gaussian", "position": 286, "fwhm": 1, "area": 1})"),
         {"\"C1\"", "twice"}},
        {component(R"({"name": "C2", "shape": "gaussian", "position": [286], "fwhm": 1, "area": 1})"),
         {"\"C2\"", "\"position\""}},
        {R"({"region": {"from": 200, "to": 290}, "components": [{"name": "C1", "shape": "gaussian", "position": 285, "fwhm": 1, "area": 1}]})",
         {"\"region\"", "outside"}},
        {R"({"region": {"from": 284.95, "to": 285.25}, "background": {"type": "linear"}, "components": [
             {"name": "C1", "shape": "pseudo_voigt", "position": 285.1, "fwhm": 1, "area": 1, "eta": 0.5}]})",
         {"\"region\"", "6 free parameters", "3 points"}},
        {R"({"background": {"type": "linear", "B": 100}, "components": []})",
         {"\"background\"", "unknown field \"B\""}},
        {R"({"weights": "sqrt", "components": []})", {"\"weights\""}},
        {"{\"components\": [", {"no valid JSON"}},
        {R"({"components": [{"name": "C1", "shape": "gaussian", "position": 1e400, "fwhm": 1, "area": 1}]})",
         {"no valid JSON"}},
    };
    for (const Bad& bad : cases) {
        const std::string why = refusal(bad.json, pts);
        ASSERT_FALSE(why.empty()) << bad.json;
        for (const std::string& s : bad.said)
            EXPECT_NE(why.find(s), std::string::npos) << why << "\n  lacks " << s;
    }
    // Counts that are no finite numbers.
    for (const double poison : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        std::vector<SpectrumPoint> broken = pts;
        broken[40].y = poison;
        const std::string why = refusal(kExample, broken);
        EXPECT_NE(why.find("not a finite number"), std::string::npos) << why;
    }
    EXPECT_EQ(refusal(kExample, pts), "");
}

TEST(FitModel, SensitivityTableAndFittedModels) {
    const SensitivityRead read = readSensitivityTable(
        "# element, level, factor\r\nC, 1s, 0.296\r\n\nO,1s,0.711\nFe , 2p3/2 , 2.686\n");
    ASSERT_TRUE(read.table) << read.error;
    const SensitivityTable& t = *read.table;
    EXPECT_EQ(t.factor("C", "1s"), 0.296);
    EXPECT_EQ(t.factor("Fe", ""), 2.686); // the element's only entry
    EXPECT_FALSE(t.factor("C", "2s"));
    for (const auto& [text, line] : {std::pair{"C, 1s, 0.3\nC, 1s, 0.4\n", "Line 2"},
                                     {"C 1s 0.3\n", "Line 1"},
                                     {"\nC, 1s, -1\n", "Line 2"},
                                     {"C, 1s, 0.3, x\n", "Line 1"}}) {
        const SensitivityRead bad = readSensitivityTable(text);
        EXPECT_FALSE(bad.table);
        EXPECT_EQ(bad.error.rfind(line, 0), 0u) << bad.error;
    }
    FitModel m = modelFrom(kExample);
    m.components[0].element = "C";
    m.components[0].level = "1s";
    m.components[1].element = "O";
    m.components[1].sensitivity = 0.5;
    applySensitivities(m, t);
    EXPECT_EQ(m.components[0].sensitivity, 0.296);
    EXPECT_EQ(m.components[1].sensitivity, 0.5); // its own factor stays

    // A fitted model starts the next fit where this one ended: free values taken (inside their
    // bounds), fixed ones and links kept.
    const FitProblem pb = problemFor(m, flat());
    FitResult r = solveFit(pb);
    ASSERT_TRUE(r.converged()) << r.message;
    r.components[1].parameters[0].estimate.value = 290; // beyond max 287.5
    const FitModel next = modelWithResult(m, r);
    EXPECT_EQ(next.components[1].parameter("position").value, 287.5);
    EXPECT_EQ(next.components[0].parameter("area").value, param(r, 0, "area").estimate.value);
    EXPECT_EQ(next.components[1].parameter("fwhm").link, "C1");
    EXPECT_EQ(next.components[1].parameter("eta").value, 0.3);
    ASSERT_TRUE(next.background.c1);
    EXPECT_EQ(next.background.c1->value, r.background.parameters[1].estimate.value);
}

} // namespace
} // namespace korvo::testing
