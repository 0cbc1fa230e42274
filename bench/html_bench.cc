// The cost of a newsletter's text part (RenderPlainText) and of its absolute links
// (MakeLinksAbsolute) on a documentation page of 1 MiB and of 20 MiB: headings, paragraphs full
// of links, images with srcset, a list, a table, code, a script, hidden parts and a style sheet,
// repeated. The links' page also in windows-1252 and Shift_JIS, which are parsed as UTF-8 with a
// map back to their own bytes.
#include <iconv.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "benchmark/benchmark.h"
#include "services/html/absolute_links.h"
#include "services/html/plain_text.h"

namespace webletter {
namespace {

constexpr const char* kFinalUrl = "https://www.example.org/news/2026/december.html";

// One article of the page; `words` is a sentence in the page's language.
std::string Article(int number, const std::string& words) {
  const std::string n = std::to_string(number);
  return "<article class=\"post\" id=\"post-" + n + "\">\n  <h2><a href=\"/news/2026/12/post-" + n +
         ".html\">Release notes, part " + n +
         "</a></h2>\n  <p class=\"meta\">Posted on <time datetime=\"2026-12-01\">1&nbsp;December "
         "2026</time> by <a href=\"../authors/jane.html\" title=\"Jane&#39;s page\">Jane Doe</a>"
         "</p>\n  <figure><img src=\"img/figure-" +
         n + ".png\" srcset=\"img/figure-" + n + ".png 1x, img/figure-" + n +
         "@2x.png 2x\" alt=\"Figure " + n +
         ": the new layout\" width=\"600\" height=\"300\" style=\"border:0;background:url(img/"
         "bg.png)\"><figcaption>The new layout, with the menu on the left.</figcaption></figure>"
         "\n  <p>" +
         words +
         " This release brings <em>faster start-up</em>, a <strong>smaller"
         "</strong> memory footprint and a <a href=\"?page=" +
         n +
         "&amp;lang=en#changes\">list of changes</a> that is longer than usual. Caf&eacute; "
         "owners &amp; other users asked for it; see the <a href=\"../docs/guide.html#install\">"
         "installation guide</a> and the <a href=\"https://example.org/faq\">FAQ</a> &mdash; or "
         "write to <a href=\"mailto:news@example.org\">news@example.org</a>.</p>\n  <ul>\n"
         "    <li>Settings are read once, at start-up.</li>\n    <li>Pages over 1&nbsp;MiB are "
         "streamed.</li>\n    <li>The <code>--quiet</code> option is gone.</li>\n  </ul>\n"
         "  <table class=\"options\">\n    <tr><th>Option</th><th>Default</th><th>Since</th></tr>"
         "\n    <tr><td>Timeout</td><td>30 s</td><td>1.2</td></tr>\n    <tr><td>Retries</td>"
         "<td>3</td><td>2.0</td></tr>\n  </table>\n  <pre><code>$ tool --config /etc/tool.conf\n"
         "  started in 12 ms\n</code></pre>\n  <div hidden><a href=\"secret.html\">Not shown</a>"
         "</div>\n  <span style=\"display:none\">Tracking text</span>\n  <script>window.dataLayer"
         ".push({post: " +
         n +
         ", html: \"<a href=x>\"});</script>\n  <p class=\"share\"><a href="
         "\"share?post=" +
         n +
         "\"><img src=\"icons/share.svg\" alt=\"\"> Share</a> <a href=\"//"
         "cdn.example.org/print/" +
         n + "\">Print</a></p>\n</article>\n";
}

// A page of about `size` bytes in UTF-8.
std::string MakePage(std::size_t size, const std::string& words) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Project news &ndash; December</title>\n"
      "<link rel=\"stylesheet\" href=\"/static/css/site.css?v=3\">\n"
      "<style>\nbody { font: 16px/1.5 sans-serif; background: url(img/paper.png) repeat; }\n"
      ".hero { background-image: url('../img/hero.jpg'); }\n</style>\n"
      "<script src=\"js/menu.js\" defer></script>\n</head>\n<body>\n<nav class=\"top\"><ul>"
      "<li><a href=\"/\">Home</a></li><li><a href=\"docs/\">Docs</a></li><li><a href=\"#main\">"
      "Skip</a></li></ul></nav>\n<main id=\"main\">\n";
  for (int number = 1; page.size() < size; ++number) page += Article(number, words);
  return page +
         "</main>\n<footer><p>&copy; 2026 Example &middot; <a href=\"unsubscribe\">"
         "Unsubscribe</a></p></footer>\n</body>\n</html>\n";
}

std::string Encode(const std::string& utf8, const char* charset) {
  const iconv_t converter = iconv_open(charset, "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) std::abort();
  std::string out(utf8.size() * 2, '\0');
  char* in_at = const_cast<char*>(utf8.data());
  std::size_t in_left = utf8.size();
  char* out_at = out.data();
  std::size_t out_left = out.size();
  if (iconv(converter, &in_at, &in_left, &out_at, &out_left) == static_cast<std::size_t>(-1)) {
    std::abort();
  }
  iconv_close(converter);
  out.resize(out.size() - out_left);
  return out;
}

const std::string kEnglish = "Here is what changed.";
const std::string kFrench = "Voici ce qui a chang\xC3\xA9 : d\xC3\xA9j\xC3\xA0 \xC3\xA9t\xC3\xA9.";
const std::string kJapanese =
    "\xE5\xA4\x89\xE6\x9B\xB4\xE7\x82\xB9\xE3\x81\xAF\xE6\xAC\xA1\xE3\x81\xAE\xE3\x81\xA8\xE3"
    "\x81\x8A\xE3\x82\x8A\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82";

void BM_RenderPlainText(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)) << 20, kEnglish);
  std::size_t lines = 0;
  for (auto _ : state) {
    const std::string text = RenderPlainText(page, kFinalUrl);
    lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_RenderPlainText)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

// `charset`: 0 UTF-8, 1 windows-1252, 2 Shift_JIS.
void BM_MakeLinksAbsolute(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
  const char* charset = state.range(1) == 0   ? "utf-8"
                        : state.range(1) == 1 ? "windows-1252"
                                              : "shift_jis";
  const std::string page = state.range(1) == 0   ? MakePage(size, kEnglish)
                           : state.range(1) == 1 ? Encode(MakePage(size, kFrench), charset)
                                                 : Encode(MakePage(size, kJapanese), charset);
  std::size_t grown = 0;
  for (auto _ : state) {
    const Result<std::string> rewritten = MakeLinksAbsolute(page, charset, kFinalUrl);
    if (!rewritten.ok()) std::abort();
    grown = rewritten->size() - page.size();
  }
  state.counters["bytes_added"] = static_cast<double>(grown);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_MakeLinksAbsolute)
    ->Args({1, 0})
    ->Args({20, 0})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond);

// Both parts from one parse, as a run with PlainText and AbsoluteLinks makes them.
void BM_MakeLinksAbsoluteWithText(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)) << 20, kEnglish);
  for (auto _ : state) {
    const Result<PageAndText> parts = MakeLinksAbsoluteWithText(page, "utf-8", kFinalUrl);
    if (!parts.ok()) std::abort();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_MakeLinksAbsoluteWithText)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace webletter

BENCHMARK_MAIN();
