// The text part of a page, the page with absolute links (rewritten in place, in its own charset)
// and the reference resolution under both.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/standard_messages.h"
#include "services/html/absolute_links.h"
#include "services/html/plain_text.h"
#include "services/html/url_resolve.h"

namespace webletter {
namespace {

using Cases = std::vector<std::pair<std::string, std::string>>;
constexpr const char* kPage = "https://www.example.com/news/dec.html";

TEST(HtmlPlainTextTest, WholePage) {
  const std::string page =
      "<!DOCTYPE html><html><head><title>Our  news &amp; more</title>"
      "<style>p{color:red}</style><script>alert('x')</script></head><body>\n"
      "<h1>Welcome</h1>\n<p>A   paragraph with <a href=\"/docs/guide.html\">the guide</a>, "
      "<a href=\"https://example.org/\">https://example.org/</a> and <a href=\"#top\">top</a>, "
      "<a href=\"javascript:void(0)\">js</a>. Caf&eacute; &lt;3&nbsp;ok. <img src=\"logo.png\" "
      "alt=\"Logo\"><img src=\"spacer.gif\" alt=\"\"></p>\n"
      "<ul><li>One</li><li>Two<ol start=\"3\"><li>Three a</li><li>Three b</li></ol></li></ul>\n"
      "<table><tr><th>Name</th><th>Value</th></tr><tr><td>a</td><td> </td><td>b</td></tr>"
      "</table>\n<div hidden>Secret</div><p style=\"color: red; DISPLAY : none !important\">"
      "Hidden</p><span aria-hidden=\" TRUE\">aria</span><noscript>Enable JS</noscript>"
      "<template><p>tpl</p></template><svg><text>drawn</text></svg>\n"
      "<pre>  code   kept\n    indented  </pre><p>Line one<br>Line two<br><br>Line four</p>"
      "<p><a href=\"mailto:news@example.org\">news@example.org</a> <a href=\"share?x=1&amp;y=2\">"
      "<img src=s.png alt=\"\"></a></p></body></html>";
  EXPECT_EQ(RenderPlainText(page, kPage),
            "Our news & more\n\nWelcome\n\n"
            "A paragraph with the guide <https://www.example.com/docs/guide.html>,\n"
            "https://example.org/ and top, js. Caf\xC3\xA9 <3 ok. Logo\n\n"
            "- One\n- Two\n  3. Three a\n  4. Three b\n\nName | Value\na | b\n\n"
            "  code   kept\n    indented\n\nLine one\nLine two\n\nLine four\n\n"
            "news@example.org <https://www.example.com/news/share?x=1&y=2>\n");
}

TEST(HtmlPlainTextTest, LayoutAndLinks) {
  const std::string words = "lorem ipsum dolor sit amet consectetur ";  // 39 characters
  const std::string long_word(80, 'x');
  const Cases cases = {
      {"", ""},
      {"<p> \n </p><script>x</script>", ""},
      // Wrapped at 76 at blanks; a longer word alone on its line; list items hang.
      {"<p>" + words + words + "</p>",
       "lorem ipsum dolor sit amet consectetur lorem ipsum dolor sit amet\nconsectetur\n"},
      {"a " + long_word + " b", "a\n" + long_word + "\nb\n"},
      {"<ul><li>" + words + words + "</li></ul>",
       "- lorem ipsum dolor sit amet consectetur lorem ipsum dolor sit amet\n  consectetur\n"},
      {"<li>loose</li><dl><dt>term<dd>meaning</dl>", "- loose\n\nterm\nmeaning\n"},
      // Blanks: collapsed, none at the ends of lines, tabs inside <pre> kept.
      {"<div> a <b> b </b> </div><div>\tc\t&copy;</div>", "a b\nc \xC2\xA9\n"},
      {"<pre>\ta  \n\n b\x1B[2J\f</pre>after", "\ta\n\n b\xEF\xBF\xBD[2J\n\nafter\n"},
      // Cells: empty ones and cells with blocks.
      {"<table><tr><td></td><td>x</td><td>&nbsp;</td><td>y</td></tr>"
       "<tr><td><p>p</p></td><td>q</td></tr></table>",
       "x | y\n\np\n\nq\n"},
      // Links: the page's <base>, scheme-relative, text equal to the address, no text.
      {"<head><base href=\"/base/\"></head><a href=\"x.html\">x</a>",
       "x <https://www.example.com/base/x.html>\n"},
      {"<a href=\"//cdn.example.org/a b\">cdn</a>", "cdn <https://cdn.example.org/a%20b>\n"},
      {"<a href=\"https://example.org\">example.org</a> <a href=\"tel:123\">call</a>",
       "example.org call <tel:123>\n"},
      {"<a href=\"x.html\"><img alt=\"\"></a>", "<https://www.example.com/news/x.html>\n"},
      {"<a href=\"\">self</a> <a href=\" #x \">frag</a>", "self frag\n"},
      {"<a href=\"https://e.org/\"><div>a</div>e.org</a>", "a\ne.org <https://e.org/>\n"},
      // Broken markup reads as a browser reads it.
      {"<p>one<b>two<p>three</b>four", "onetwo\n\nthreefour\n"},
      {"<table><tr><td>cell<p>para</table>after", "cell\n\npara\n\nafter\n"},
      {"&#5555555555555555555555555555555;", "\xEF\xBF\xBD\n"},
  };
  for (const auto& [html, text] : cases) EXPECT_EQ(RenderPlainText(html, kPage), text) << html;
}

TEST(HtmlResolveReferenceTest, Rfc3986ExamplesAndBrowserCleanUp) {
  const std::string base = "http://a/b/c/d;p?q";
  const Cases cases = {
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      // As written: no decoding, no case folding; blanks and quotes encoded.
      {"%41/B%2f", "http://a/b/c/%41/B%2f"},
      {" \t g\nh \r", "http://a/b/c/gh"},
      {"a\\b?c\\d", "http://a/b/c/a/b?c\\d"},
      {"x y\"<>`", "http://a/b/c/x%20y%22%3C%3E%60"},
      {"caf\xC3\xA9", "http://a/b/c/caf\xC3\xA9"},
  };
  for (const auto& [reference, resolved] : cases) {
    EXPECT_EQ(html::ResolveReference(base, reference).value_or("(none)"), resolved) << reference;
  }
  for (const char* unchanged : {"", "  ", "#s", "g:h", "HTTPS://x", "mailto:a@b", "data:,x"}) {
    EXPECT_EQ(html::ResolveReference(base, unchanged), std::nullopt) << unchanged;
  }
  EXPECT_EQ(html::ResolveReference("https://h", "x"), "https://h/x");
}

TEST(HtmlAbsoluteLinksTest, EachKindOfReference) {
  const Cases cases = {
      {"<a href=\"x.html\">", "<a href=\"https://www.example.com/news/x.html\">"},
      {"<img src='/i.png'>", "<img src='https://www.example.com/i.png'>"},
      {"<video poster=p.jpg>", "<video poster=https://www.example.com/news/p.jpg>"},
      {"<body background=\"bg\"><form action=\"s\"><q cite=../q>",
       "<body background=\"https://www.example.com/news/bg\"><form action=\""
       "https://www.example.com/news/s\"><q cite=https://www.example.com/q>"},
      {"<img srcset=\"a.png 1x,b.png, c.png 2x, https://x/d.png 3x\" sizes=\"(a,b) 1px\">",
       "<img srcset=\"https://www.example.com/news/a.png 1x,https://www.example.com/news/b.png, "
       "https://www.example.com/news/c.png 2x, https://x/d.png 3x\" sizes=\"(a,b) 1px\">"},
      // Character references in, "&amp;" and the quote's reference out; quotes when needed.
      {"<a href=\"a?x=1&amp;y=2\">", "<a href=\"https://www.example.com/news/a?x=1&amp;y=2\">"},
      {"<a href='&#39;x'>", "<a href='https://www.example.com/news/&#39;x'>"},
      {"<a href=a?b=c>", "<a href=\"https://www.example.com/news/a?b=c\">"},
      {"<a href = &amp;x>", "<a href = https://www.example.com/news/&amp;x>"},
      // Styles: quoted and unquoted url(), not in comments or strings, escaped ones left.
      {"<p style=\"background: URL( 'a.png' ); x: url(b)\">",
       "<p style=\"background: URL( 'https://www.example.com/news/a.png' ); "
       "x: url(https://www.example.com/news/b)\">"},
      {"<style>a{b:url(\"c d.png\")} /* url(e) */ f{content:\"url(g)\"} h{i:url(j\\)k)}"
       "</style>",
       "<style>a{b:url(\"https://www.example.com/news/c%20d.png\")} /* url(e) */ "
       "f{content:\"url(g)\"} h{i:url(j\\)k)}</style>"},
      // The page's <base>, itself made absolute; left as they are: absolute, fragment, empty.
      {"<base href=\"../b/\"><a href=\"x\"></a><a href=\"HTTP://o/\"></a><a href=\"#f\"></a>"
       "<a href=\"\"></a><a href=mailto:m@x></a><img src=\"data:,x\"><a href=\"//h/p\">",
       "<base href=\"https://www.example.com/b/\"><a href=\"https://www.example.com/b/x\"></a>"
       "<a href=\"HTTP://o/\"></a><a href=\"#f\"></a><a href=\"\"></a><a href=mailto:m@x></a>"
       "<img src=\"data:,x\"><a href=\"https://h/p\">"},
      // An element the parser reopens (misnested tags) is written once.
      {"<b><a href=d><p>x</a></b>", "<b><a href=https://www.example.com/news/d><p>x</a></b>"},
      // Not references: other attributes, text, scripts, comments.
      {"<a title=x data-src=y>src=z<script>s.src='w'</script><!-- <a href=v> -->"
       "<i style=\"a:url('b\\'c')\"><i style=\"a:url(b\">",
       "<a title=x data-src=y>src=z<script>s.src='w'</script><!-- <a href=v> -->"
       "<i style=\"a:url('b\\'c')\"><i style=\"a:url(b\">"},
  };
  for (const auto& [page, rewritten] : cases) {
    const Result<std::string> result = MakeLinksAbsolute(page, "utf-8", kPage);
    ASSERT_TRUE(result.ok()) << page;
    EXPECT_EQ(*result, rewritten) << page;
  }
}

TEST(HtmlAbsoluteLinksTest, LegacyCharsetsStayTheirOwn) {
  // windows-1252: é is 0xE9; U+65E5 is not in the charset and goes percent-encoded.
  const std::string latin =
      "<title>Caf\xE9 \x80</title><a href=\"caf\xE9.html\">\xE9</a>"
      "<a href=na\xEFve>x</a><img src=\"&#x65E5;.png\" alt=\"\xE9\">";
  EXPECT_EQ(*MakeLinksAbsolute(latin, "windows-1252", "https://h/d/"),
            "<title>Caf\xE9 \x80</title><a href=\"https://h/d/caf\xE9.html\">\xE9</a>"
            "<a href=https://h/d/na\xEFve>x</a><img src=\"https://h/d/%E6%97%A5.png\" "
            "alt=\"\xE9\">");
  EXPECT_EQ(*MakeLinksAbsolute(latin, "iso-8859-1", "https://h/d/"),
            *MakeLinksAbsolute(latin, "windows-1252", "https://h/d/"));
  const Result<PageAndText> both = MakeLinksAbsoluteWithText(latin, "windows-1252", "https://h/d/");
  EXPECT_EQ(both->page, *MakeLinksAbsolute(latin, "windows-1252", "https://h/d/"));
  EXPECT_EQ(both->text,
            "Caf\xC3\xA9 \xE2\x82\xAC\n\n\xC3\xA9 <https://h/d/caf\xC3\xA9.html> x "
            "<https://h/d/na\xC3\xAFve> \xC3\xA9\n");
  // Shift_JIS: trail bytes in the ASCII range (0x5C in "\x83\x5C"), a bad byte, é lacking.
  const std::string japanese =
      "<title>\x93\xFA\x96\x7B</title><p>\x83\x5C\x83\x74\x83\x67 <a href=\"\x83\x5C.html\">"
      "\x83\x5C</a><a href=\"x?q=\x93\xFA\">q</a><a href=\"\x80\">b</a><a href=\"&eacute;\">e</a>";
  EXPECT_EQ(*MakeLinksAbsolute(japanese, "shift_jis", "https://h/d/"),
            "<title>\x93\xFA\x96\x7B</title><p>\x83\x5C\x83\x74\x83\x67 <a href=\""
            "https://h/d/\x83\x5C.html\">\x83\x5C</a><a href=\"https://h/d/x?q=\x93\xFA\">q</a>"
            "<a href=\"https://h/d/%EF%BF%BD\">b</a><a href=\"https://h/d/%C3%A9\">e</a>");
  // ISO-2022-JP shifts in and out: the new value starts and ends in ASCII (the page's own shift
  // back before the quote stays).
  const std::string jis = "<p>\x1B$BF|\x1B(B<a href=\"\x1B$BF|\x1B(B\">x</a>";
  EXPECT_EQ(*MakeLinksAbsolute(jis, "iso-2022-jp", "https://h/"),
            "<p>\x1B$BF|\x1B(B<a href=\"https://h/\x1B$BF|\x1B(B\x1B(B\">x</a>");
}

TEST(HtmlAbsoluteLinksTest, RefusesWhatItCannotDo) {
  EXPECT_EQ(MakeLinksAbsolute("<a href=x>", "utf-8", "news/page.html").status(),
            Status(error::kInvalidArgument));
  EXPECT_EQ(MakeLinksAbsolute("<a href=x>", "no-such-charset", kPage).status(),
            Status(error::kInvalidArgument));
}

TEST(HtmlTest, BrokenPagesNeitherCrashNorChange) {
  const std::vector<std::string> pages = {
      std::string("<a href=\"x\0y\">\0</a>", 16),
      "<a href=\"x>unfinished",
      "<p <a =x href",
      "\xFF\xFE<\xC3<a\xE2\x82>&#xD800;&#0;&#x110000;",
      "<table><td><table><caption><select><option><svg><desc><math><mi><frameset>",
      std::string(20000, '<') + std::string(20000, '>'),
  };
  for (const std::string& page : pages) {
    const std::string text = RenderPlainText(page, kPage);
    EXPECT_TRUE(text.empty() || text.ends_with('\n'));
    const Result<std::string> rewritten = MakeLinksAbsolute(page, "utf-8", kPage);
    ASSERT_TRUE(rewritten.ok());
    if (page.find("href=\"x") == std::string::npos) {
      EXPECT_EQ(*rewritten, page);
    }
  }
}

}  // namespace
}  // namespace webletter
