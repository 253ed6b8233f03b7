// The guide's Edit Data section: every console line it shows, run in the order shown through the
// console's own entry on the document the section describes, prints what the guide says it
// prints; and every function the section lists is one the language knows.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "../document/dochelpers.h"
#include "script/docscript.h"
#include "script/messages.h"

namespace zun::script {
namespace {

namespace fs = std::filesystem;

std::string Guide() {
    std::ifstream in(fs::path(ZUN_SOURCE_DIR) / "doc" / "help" / "index.html");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The text of an HTML code element as the reader sees it.
std::string Unescape(std::string s) {
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (auto [entity, text] : kEntities)
        for (size_t at = s.find(entity); at != std::string::npos; at = s.find(entity, at + 1))
            s.replace(at, std::strlen(entity), text);
    return s;
}

struct Marked {
    std::string kind;  // the class: "edit-line", "edit-result", "edit-function"
    std::string text;
};

// The marked code elements of the section, in the order they stand.
std::vector<Marked> MarkedCode(const std::string& html) {
    static const std::string kOpen = "<code class=\"";
    std::vector<Marked> out;
    for (size_t at = html.find(kOpen); at != std::string::npos; at = html.find(kOpen, at + 1)) {
        const size_t kindEnd = html.find('"', at + kOpen.size());
        const size_t textStart = html.find('>', kindEnd) + 1;
        const size_t textEnd = html.find("</code>", textStart);
        out.push_back({html.substr(at + kOpen.size(), kindEnd - at - kOpen.size()),
                       Unescape(html.substr(textStart, textEnd - textStart))});
    }
    return out;
}

// The document of the section's worked lines: a new document of 3 x 2 x 2 voxels with the
// composition channels Void, Calcite and SiO2, the X-ray CT channel CT holding 0.1 per voxel step
// and the property channel Density.
struct GuideDocument : DocFixture {
    GuideDocument() {
        doc.ResizeVolume({3, 2, 2}, {0, 0, 0});
        doc.InsertChannel(ZunChan::kComposition, 1, "Calcite");
        doc.InsertChannel(ZunChan::kComposition, 2, "SiO2");
        doc.InsertChannel(ZunChan::kXrayCt, 3, "CT");
        doc.InsertChannel(ZunChan::kProperty, 4, "Density");
        for (const char* name : {"Void", "Calcite", "SiO2"}) Chan(name).range = {0.0f, 1.0f};
        for (const char* name : {"CT", "Density"}) Chan(name).range = {0.0f, 16.383f};
        for (int v = 0; v < 12; ++v) Chan("CT").Data()[v] = static_cast<imtype>(100 * v);
    }
    ZunChan& Chan(const char* name) { return *doc.GetSample().FindChan(name); }
    std::string Run(const std::string& line) {
        std::string out = ExecuteDocumentLine(doc, line);
        if (!out.empty() && out[0] == '\n') out.erase(0, 1);
        return out;
    }
};

TEST(GuideConsole, EveryLineOfTheSectionPrintsWhatTheGuideSays) {
    GuideDocument d;
    ASSERT_EQ(d.doc.GetSample().GetChanCount(), 5);
    int lines = 0;
    const std::vector<Marked> marked = MarkedCode(Guide());
    for (size_t i = 0; i < marked.size(); ++i) {
        if (marked[i].kind != "edit-line") continue;
        ASSERT_TRUE(i + 1 < marked.size() && marked[i + 1].kind == "edit-result")
            << "the line \"" << marked[i].text << "\" has no stated result after it";
        EXPECT_EQ(d.Run(marked[i].text), marked[i + 1].text) << marked[i].text;
        ++lines;
    }
    // The section shows the three the users' guesses asked for and more.
    EXPECT_GE(lines, 25);
}

TEST(GuideConsole, EveryListedFunctionIsOneTheLanguageKnows) {
    GuideDocument d;
    std::set<std::string> names;
    for (const Marked& m : MarkedCode(Guide()))
        if (m.kind == "edit-function") names.insert(m.text.substr(0, m.text.find('(')));
    EXPECT_EQ(names.size(), 10u);
    for (const std::string& name : names) EXPECT_NE(d.Run(name + "()"), msg::kUnknownFunction) << name;
    EXPECT_EQ(d.Run("mean()"), msg::kUnknownFunction);
}

}  // namespace
}  // namespace zun::script
