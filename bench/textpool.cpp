#include "textpool.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 96> baseWords{
    "buffer", "cache",   "client",  "config",  "context",  "cursor", "data",    "delta",  "entry",
    "event",  "file",    "filter",  "frame",   "handle",   "header", "index",   "item",   "key",
    "layout", "limit",   "line",    "list",    "loader",   "lock",   "map",     "model",  "node",
    "offset", "option",  "output",  "parser",  "path",     "policy", "pool",    "queue",  "reader",
    "record", "request", "result",  "retry",   "route",    "row",    "scan",    "schema", "scope",
    "server", "session", "signal",  "size",    "slot",     "source", "state",   "store",  "stream",
    "table",  "task",    "thread",  "timer",   "token",    "total",  "tree",    "update", "user",
    "value",  "view",    "watcher", "window",  "worker",   "writer", "apply",   "build",  "check",
    "close",  "compute", "create",  "decode",  "encode",   "fetch",  "flush",   "format", "merge",
    "open",   "parse",   "read",    "refresh", "render",   "reset",  "resolve", "select", "sort",
    "split",  "start",   "stop",    "sync",    "validate", "write"};

// Templates of tool output, already in JSON-escaped form: {i} an identifier, {w} a word,
// {n} a number, {p} a relative path.
constexpr std::array<std::string_view, 30> outputTemplates{
    R"(    const auto {i} = {i}(\"{w}\", {n});\n)",
    R"(    if ({i} != nullptr \u0026\u0026 {i}->{w}()) {\n        return {i};\n    }\n)",
    R"(}\n\n)",
    R"(#include \"{p}.h\"\n)",
    R"(\t{w}: {n},\n)",
    R"(    // {w} the {w} before the {w} is {w}ed\n)",
    R"(  {n}\u2192    return std::move({i});\n)",
    R"(  {n}→  def {i}(self, {w}: int = {n}) -> \"{w}\":\n)",
    R"(src/{p}.cpp:{n}:{n}: warning: unused variable '{i}' [-Wunused-variable]\n)",
    R"(PASS  tests/{p}.test.ts ({n} ms)\n)",
    R"(FAIL  tests/{p}.test.ts\n  ● {w} › should {w} the {w}\n\n    Expected: \"{w}\"\n    Received: \"{w}\"\n)",
    R"(C:\\Users\\dev\\{w}\\{w}\\{i}.txt\n)",
    R"({\"{w}\": \"{w}\", \"{w}\": {n}, \"nested\": {\"{i}\": [{n}, {n}, null, true]}}\n)",
    R"(-rw-r--r--  1 user user {n} Oct 12 09:15 {p}.json\n)",
    R"(drwxr-xr-x  2 user user 4096 Nov  3 17:42 {w}\n)",
    R"(2026-10-12 09:15:42,{n} INFO  [{w}-{n}] {w} {i} finished in {n} ms\n)",
    R"(2026-10-12 09:15:43,{n} ERROR [{w}] failed to {w} \"{p}\": {w} refused\n)",
    R"(Grüße aus München — naïve café, déjà vu im Büro; Straße Nr. {n}\n)",
    R"(日本語のテキスト：{w}を{w}しました（{n}件）\n)",
    R"(Ελληνικά: το {w} είναι έτοιμο — {n} αρχεία\n)",
    R"(Русский текст: обработано {n} строк, {w} готов\n)",
    R"(r\u00e9sum\u00e9 \u2014 caf\u00e9 \u00bd \u20ac{n} \u2713 done\n)",
    R"(✅ {w} passed   ❌ {w} failed   ⚠️ {n} warnings 🚀\n)",
    R"(    at {i} ({p}.js:{n}:{n})\n)",
    R"(diff --git a/{p}.py b/{p}.py\n@@ -{n},7 +{n},9 @@\n-    {i} = {n}\n+    {i} = \"{w}\"\n)",
    R"(\"{w}\\\\{w}\" matched \"^[a-z]+\\\\d{3}$\" at byte {n}\n)",
    R"(SELECT {w}, COUNT(*) FROM {w} WHERE {w}_id = '{n}' GROUP BY {w};\r\n)",
    R"(<div class=\"{w}\" data-{w}=\"{n}\">{w} \u0026amp; {w}</div>\n)",
    R"(    {i}: \"{w}\",\n)",
    R"(total {n}\n)"};

constexpr std::array<std::string_view, 14> proseTemplates{
    "I'll {w} the {w} first, then {w} the {w} so the {w} stays consistent. ",
    "The {i} function {w}s every {w} before it {w}s the {w}. ",
    "Let me check how `{i}` is used in `{p}.cpp`. ",
    "This fails because the {w} is {w}ed twice when the {w} is empty. ",
    "Done: the {w} now handles {n} {w}s without copying the {w}. ",
    "Could you {w} the {w} in {p}.ts? It should {w} after {n} ms. ",
    "Here's the plan:\\n1. {w} the {w}\\n2. {w} the {i}\\n3. run the tests\\n",
    "The tests pass ({n} passed, 0 failed). ",
    "Note: \\\"{w}\\\" is reserved, so I renamed it to \\\"{i}\\\". ",
    "Die {w}-Prüfung schlägt fehl — vermutlich wegen {w}. ",
    "{w}の処理を修正しました。 ",
    "Es geht um die Größe des {w}s ({n} Bytes). ",
    "Summary — {w}: {n}, {w}: {n}. ",
    "```\\n{i}({w}, {n})\\n```\\n"};

} // namespace

TextPool::TextPool(Random &random) : m_random(random)
{
    for (std::string_view w : baseWords)
        m_words.emplace_back(w);
    m_output.reserve(4096);
    for (int i = 0; i < 4096; ++i)
        m_output.push_back(makeOutputPiece());
    m_prose.reserve(1024);
    for (int i = 0; i < 1024; ++i)
        m_prose.push_back(makeProsePiece());
}

const std::string &TextPool::word()
{
    return m_words[m_random.below(m_words.size())];
}

std::string TextPool::identifier()
{
    std::string id = word();
    std::string second = word();
    second[0] = char(second[0] - 'a' + 'A');
    return id + second;
}

std::string TextPool::path(const std::string &cwd)
{
    std::string p = cwd;
    const auto depth = m_random.between(1, 3);
    for (std::int64_t i = 0; i < depth; ++i)
        p += '/' + word();
    return p;
}

std::string TextPool::expand(std::string_view pattern)
{
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}') {
            const char field = pattern[i + 1];
            if (field == 'w')
                out += word();
            else if (field == 'i')
                out += identifier();
            else if (field == 'n')
                out += std::to_string(m_random.logUniform(1, 99999));
            else if (field == 'p')
                out += word() + '/' + word();
            if (field == 'w' || field == 'i' || field == 'n' || field == 'p') {
                i += 2;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::string TextPool::makeOutputPiece()
{
    return expand(outputTemplates[m_random.below(outputTemplates.size())]);
}

std::string TextPool::makeProsePiece()
{
    return expand(proseTemplates[m_random.below(proseTemplates.size())]);
}

void TextPool::appendOutput(std::string &out, std::size_t bytes)
{
    const std::size_t until = out.size() + bytes;
    while (out.size() < until)
        out += m_output[m_random.below(m_output.size())];
}

void TextPool::appendProse(std::string &out, std::size_t bytes)
{
    const std::size_t until = out.size() + bytes;
    while (out.size() < until)
        out += m_prose[m_random.below(m_prose.size())];
}
