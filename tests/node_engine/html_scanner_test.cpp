#include "standins/node/html_scanner.h"

#include <gtest/gtest.h>

namespace node_standin {
namespace {

TEST(HtmlScanner, TreeOfElementsAttributesAndText) {
  HtmlDocument doc = ScanHtml("<p id=a class='x y'>Hi &amp; <b>you</b></p>");
  EXPECT_EQ(doc.tree_json, R"([["p",{"id":"a","class":"x y"},["Hi & ",["b",{},["you"]]]]])");
  EXPECT_TRUE(doc.scripts.empty());
}

TEST(HtmlScanner, ScriptsInDocumentOrderWithTheirLines) {
  HtmlDocument doc = ScanHtml(
      "<html>\n<head><script src=\"a.js\"></script>\n<script>\nvar x = '</div>';\n</script>"
      "</head>\n<body><SCRIPT type=text/template>no</SCRIPT><script type=\"text/javascript\">y()"
      "</script></body></html>");
  ASSERT_EQ(doc.scripts.size(), 3u);
  EXPECT_EQ(doc.scripts[0].src, "a.js");
  EXPECT_EQ(doc.scripts[0].line, 2);
  EXPECT_EQ(doc.scripts[1].text, "\nvar x = '</div>';\n");
  EXPECT_EQ(doc.scripts[1].line, 3);
  EXPECT_EQ(doc.scripts[2].text, "y()");
  EXPECT_EQ(doc.scripts[2].line, 6);
}

TEST(HtmlScanner, ScriptTextIsNotEntityDecodedButTitleIs) {
  HtmlDocument doc = ScanHtml("<title>A &lt; B</title><script>a &lt; b</script>");
  EXPECT_EQ(doc.tree_json, R"([["title",{},["A < B"]],["script",{},["a &lt; b"]]])");
}

TEST(HtmlScanner, LenientAboutBrokenMarkup) {
  EXPECT_EQ(ScanHtml("<div>a</span>b</div>c").tree_json, R"([["div",{},["ab"]],"c"])");
  EXPECT_EQ(ScanHtml("<ul><li>1<li>2</ul>").tree_json,
            R"([["ul",{},[["li",{},["1"]],["li",{},["2"]]]]])");
  EXPECT_EQ(ScanHtml("<p>x<p>y").tree_json, R"([["p",{},["x"]],["p",{},["y"]]])");
  EXPECT_EQ(ScanHtml("a < b <!-- c --> <!doctype html>d").tree_json, R"(["a < b  d"])");
  EXPECT_EQ(ScanHtml("<br/><img src=x>t").tree_json,
            R"([["br",{},[]],["img",{"src":"x"},[]],"t"])");
  EXPECT_EQ(ScanHtml("<div id=\"unterminated").tree_json, R"([["div",{"id":"unterminated"},[]]])");
  EXPECT_EQ(ScanHtml("<script>never closed").scripts.at(0).text, "never closed");
  EXPECT_EQ(ScanHtml("<").tree_json, R"(["<"])");
  EXPECT_EQ(ScanHtml("").tree_json, "[]");
}

TEST(HtmlScanner, EntitiesAndEscaping) {
  HtmlDocument doc = ScanHtml("&#20013;&#x6587;&#128512;&nbsp;&bogus; \"q\" \\ \t&#0;");
  EXPECT_EQ(doc.tree_json,
            "[\"\xE4\xB8\xAD\xE6\x96\x87\xED\xA0\xBD\xED\xB8\x80\xC2\xA0&bogus; \\\"q\\\" \\\\ "
            "\\u0009\xEF\xBF\xBD\"]");
}

TEST(HtmlScanner, DuplicateAttributesKeepTheFirst) {
  EXPECT_EQ(ScanHtml("<a id=1 id=2 disabled>").tree_json, R"([["a",{"id":"1","disabled":""},[]]])");
}

TEST(HtmlScanner, DeepNestingIsFlattened) {
  std::string html;
  for (int i = 0; i < 5000; ++i) html += "<div>";
  html += "deep";
  HtmlDocument doc = ScanHtml(html);
  int depth = 0, max_depth = 0;
  for (char c : doc.tree_json) {
    if (c == '[') max_depth = std::max(max_depth, ++depth);
    if (c == ']') --depth;
  }
  EXPECT_EQ(depth, 0);
  EXPECT_LE(max_depth, 2 * kMaxHtmlDepth + 4);
  EXPECT_NE(doc.tree_json.find("\"deep\""), std::string::npos);
}

}  // namespace
}  // namespace node_standin
