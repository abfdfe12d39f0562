#include "test_runner_p.h"
#include "xml_p.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <string>
#include <vector>

namespace zf::avm1 {
namespace {

using test::Asm;
using test::Item;
using Code = swf::ActionCode;

// Builds scripts out of dotted paths ("doc.firstChild.nodeName"): the first
// part is a variable, the rest are members.
class Script {
public:
    explicit Script(int version = 8) : m_version(version) {}

    Script& value(const std::string& path)
    {
        size_t dot = path.find('.');
        m_asm.push({path.substr(0, dot)}).op(Code::GetVariable);
        while (dot != std::string::npos) {
            size_t next = path.find('.', dot + 1);
            m_asm.push({path.substr(dot + 1, next - dot - 1)}).op(Code::GetMember);
            dot = next;
        }
        return *this;
    }
    Script& construct(const std::string& var, const std::string& cls, std::vector<Item> args)
    {
        m_asm.push({var});
        pushArgs(args);
        m_asm.push({cls}).op(Code::NewObject).op(Code::SetVariable);
        return *this;
    }
    Script& xml(const std::string& var, const std::string& text)
    {
        return construct(var, "XML", {text});
    }
    // Calls path.method(args...), keeping the result when `store` names a variable.
    Script& call(const std::string& path, const std::string& method, std::vector<Item> args,
                 const std::string& store = "")
    {
        if (!store.empty()) {
            m_asm.push({store});
        }
        pushArgs(args);
        value(path);
        m_asm.push({method}).op(Code::CallMethod);
        m_asm.op(store.empty() ? Code::Pop : Code::SetVariable);
        return *this;
    }
    Script& traceCall(const std::string& path, const std::string& method, std::vector<Item> args)
    {
        pushArgs(args);
        value(path);
        m_asm.push({method}).op(Code::CallMethod).op(Code::Trace);
        return *this;
    }
    Script& trace(const std::string& path)
    {
        value(path);
        m_asm.op(Code::Trace);
        return *this;
    }
    Script& set(const std::string& path, Item item)
    {
        size_t dot = path.rfind('.');
        value(path.substr(0, dot));
        m_asm.push({path.substr(dot + 1), item}).op(Code::SetMember);
        return *this;
    }
    // var = path
    Script& store(const std::string& var, const std::string& path)
    {
        m_asm.push({var});
        value(path);
        m_asm.op(Code::SetVariable);
        return *this;
    }
    // path.method(args given as paths), keeping the result when `store` names a variable.
    Script& callPaths(const std::string& path, const std::string& method,
                      std::vector<std::string> args, const std::string& store = "")
    {
        if (!store.empty()) {
            m_asm.push({store});
        }
        for (auto it = args.rbegin(); it != args.rend(); ++it) {
            value(*it);
        }
        m_asm.push({int(args.size())});
        value(path);
        m_asm.push({method}).op(Code::CallMethod);
        m_asm.op(store.empty() ? Code::Pop : Code::SetVariable);
        return *this;
    }
    std::string run() { return test::run(m_version, std::move(m_asm)); }
    Asm& code() { return m_asm; }

private:
    void pushArgs(const std::vector<Item>& args)
    {
        for (auto it = args.rbegin(); it != args.rend(); ++it) {
            m_asm.push({*it});
        }
        m_asm.push({int(args.size())});
    }

    int m_version;
    Asm m_asm;
};

TEST(Xml, ParseAndSerialiseRoundTrip)
{
    struct Case {
        const char* input;
        const char* output;
    } cases[] = {
        {"<a></a>", "<a />"},
        {"<a x=\"1\" y='2'/>", "<a x=\"1\" y=\"2\" />"},
        {"<a>x &amp; &lt;y&gt; &#65;&#x42; &bogus; & z</a>",
         "<a>x &amp; &lt;y&gt; AB &amp;bogus; &amp; z</a>"},
        {"<a t=\"&quot;q&apos;\"/>", "<a t=\"&quot;q&apos;\" />"},
        {"<a><![CDATA[<b>]]></a>", "<a>&lt;b&gt;</a>"},
        {"<!--c--><a><!-- inner -->t</a>", "<a>t</a>"},
        {"<?xml version=\"1.0\"?><!DOCTYPE d><r/>", "<?xml version=\"1.0\"?><!DOCTYPE d><r />"},
        {"<r/>tail", "<r />tail"},
        {"<p:q xmlns:p=\"u\"><s/></p:q>", "<p:q xmlns:p=\"u\"><s /></p:q>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Script().xml("d", c.input).trace("d").run(), std::string(c.output) + "\n")
            << c.input;
    }
}

TEST(Xml, StatusCodesReportTheFirstProblem)
{
    struct Case {
        const char* input;
        int status;
    } cases[] = {
        {"<a><b/></a>", 0}, {"<a><![CDATA[x</a>", -2}, {"<?xml", -3},
        {"<!DOCTYPE", -4},  {"<a><!-- x</a>", -5},     {"<a =\"1\"/>", -6},
        {"<a x=\"1/>", -8}, {"<a><b></a>", -10},       {"<a><b></b>", -9},
        {"</a>", -10},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Script().xml("d", c.input).trace("d.status").run(),
                  std::to_string(c.status) + "\n")
            << c.input;
    }
}

TEST(Xml, IgnoreWhiteDropsOnlyBlankText)
{
    Script s;
    s.construct("d", "XML", {}).set("d.ignoreWhite", true);
    s.call("d", "parseXML", {"<r>  <a> x </a>\n</r>"});
    s.trace("d.firstChild.childNodes.length").trace("d.firstChild.firstChild.firstChild.nodeValue");
    EXPECT_EQ(s.run(), "1\n x \n");
}

TEST(Xml, NodesMadeByScripts)
{
    Script s;
    s.construct("d", "XML", {});
    s.call("d", "createElement", {"item"}, "e").call("d", "createTextNode", {"a<b & 'c'"}, "t");
    s.callPaths("e", "appendChild", {"t"}).callPaths("d", "appendChild", {"e"});
    s.trace("d").trace("e.nodeType").trace("t.nodeType").trace("t.nodeName").trace("e.nodeValue");
    s.traceCall("e", "hasChildNodes", {}).traceCall("t", "hasChildNodes", {});
    // Renaming: undefined leaves the name, null removes the tag around the children.
    s.set("e.nodeName", test::Undefined{}).trace("d");
    s.set("e.nodeName", test::Null{}).trace("d");
    s.construct("n", "XMLNode", {1, "solo"}).set("n.attributes.k", 5).trace("n");
    EXPECT_EQ(s.run(), "<item>a&lt;b &amp; &apos;c&apos;</item>\n1\n3\nnull\nnull\ntrue\nfalse\n"
                       "<item>a&lt;b &amp; &apos;c&apos;</item>\na&lt;b &amp; &apos;c&apos;\n"
                       "<solo k=\"5\" />\n");
}

TEST(Xml, AttributesEnumerateInDocumentOrder)
{
    Asm a;
    a.push({"d", "<a z=\"1\" b=\"2\" m=\"3\"/>", 1, "XML"})
        .op(Code::NewObject)
        .op(Code::SetVariable);
    a.push({"d"}).op(Code::GetVariable).push({"firstChild"}).op(Code::GetMember);
    a.push({"attributes"}).op(Code::GetMember).op(Code::Enumerate2);
    a.label("next").storeRegister(0).push({test::Null{}}).op(Code::Equals2).ifTrue("done");
    a.push({test::Reg{0}}).op(Code::Trace).jump("next").label("done");
    EXPECT_EQ(test::run(8, std::move(a)), "z\nb\nm\n");
}

TEST(Xml, TreeEditsKeepLinksAndChildNodesInStep)
{
    Script s;
    s.xml("d", "<a><b/><c/></a>").store("kids", "d.firstChild.childNodes");
    // A script's change to the array lasts until the children change.
    s.call("kids", "push", {"junk"}).trace("kids.length");
    s.store("b", "d.firstChild.firstChild").callPaths("b", "removeNode", {});
    s.trace("kids").trace("b.parentNode").trace("d.firstChild.firstChild.previousSibling");
    // insertBefore places the node, appendChild moves it to the end.
    s.callPaths("d.firstChild", "insertBefore", {"b", "d.firstChild.firstChild"}).trace("d");
    s.callPaths("d", "appendChild", {"b"}).trace("d").trace("kids");
    // A node cannot move below itself or its own descendants.
    s.callPaths("b", "appendChild", {"d"}).callPaths("b", "appendChild", {"b"}).trace("d");
    EXPECT_EQ(s.run(), "3\n<c />\nnull\nnull\n<a><b /><c /></a>\n<a><c /></a><b />\n<c />\n"
                       "<a><c /></a><b />\n");
}

TEST(Xml, CloneCopiesNodesButNotExpandos)
{
    Script s;
    s.xml("d", "<a k=\"v\"><b/></a>").set("d.firstChild.extra", 1);
    s.call("d.firstChild", "cloneNode", {true}, "deep");
    s.call("d.firstChild", "cloneNode", {}, "shallow");
    s.set("deep.attributes.k", "changed");
    s.trace("deep").trace("shallow").trace("d").trace("deep.extra").trace("deep.parentNode");
    EXPECT_EQ(s.run(), "<a k=\"changed\"><b /></a>\n<a k=\"v\" />\n<a k=\"v\"><b /></a>\n"
                       "undefined\nnull\n");
}

TEST(Xml, NamespacesResolveThroughAncestors)
{
    Script s;
    s.xml("d", "<p:a xmlns:p=\"urn:p\" xmlns=\"urn:d\"><b/></p:a>");
    s.trace("d.firstChild.prefix").trace("d.firstChild.localName");
    s.trace("d.firstChild.namespaceURI").trace("d.firstChild.firstChild.namespaceURI");
    s.traceCall("d.firstChild.firstChild", "getNamespaceForPrefix", {"p"});
    s.traceCall("d.firstChild.firstChild", "getPrefixForNamespace", {"urn:d"});
    s.traceCall("d.firstChild", "getNamespaceForPrefix", {"q"});
    s.trace("d.prefix");
    EXPECT_EQ(s.run(), "p\na\nurn:p\nurn:d\nurn:p\n\nnull\nnull\n");
}

TEST(Xml, IdMapCollectsParsedIds)
{
    Script s;
    s.xml("d", "<a id=\"x\"><b id=\"y\"/></a>").store("map", "d.idMap");
    s.call("d", "parseXML", {"<c id=\"z\"/>"});
    s.trace("map.x.nodeName").trace("map.z.nodeName").trace("d.idMap.y.nodeName");
    EXPECT_EQ(s.run(), "a\nc\nb\n");
}

TEST(Xml, EntityHelpers)
{
    struct Case {
        const char* input;
        const char* all;
        const char* named;
    } cases[] = {
        {"a&amp;b&lt;&gt;&quot;&apos;", "a&b<>\"'", "a&b<>\"'"},
        {"&#39;&#x41;", "'A", "&#39;&#x41;"},
        {"&&amp;", "&&", "&&"},
        {"&Amp; &unknown; &", "&Amp; &unknown; &", "&Amp; &unknown; &"},
        {"&amp;gt;", "&gt;", "&gt;"},
        {"&#0;&#x110000;", "&#0;&#x110000;", "&#0;&#x110000;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(xmlUnescape(c.input), c.all) << c.input;
        EXPECT_EQ(xmlUnescape(c.input, false), c.named) << c.input;
    }
    EXPECT_EQ(xmlEscape("<a href=\"x\">&'</a>"),
              "&lt;a href=&quot;x&quot;&gt;&amp;&apos;&lt;/a&gt;");
}

TEST(ExternalInterface, SerialisesValuesAndReadsThemBack)
{
    Script s;
    std::string ei = "flash.external.ExternalInterface";
    s.construct("o", "Object", {}).set("o.k", "<&>");
    s.callPaths(ei, "_toXML", {"o"}, "r")
        .trace("r")
        .traceCall(ei, "_toXML", {""})
        .traceCall(ei, "_toXML", {2.5});
    s.construct("a", "Array", {true, test::Null{}});
    s.callPaths(ei, "_toXML", {"a"}, "wire").trace("wire");
    s.callPaths(ei, "_argumentsToXML", {"a"}, "args").trace("args");
    // Back through a parsed document: <array><property id=...>.
    s.construct("x", "XML", {}).callPaths("x", "parseXML", {"wire"});
    s.callPaths(ei, "_toAS", {"x.firstChild"}, "back").trace("back.length").trace("back.0");
    s.traceCall(ei, "_jsQuoteString", {"say \"hi\""}).traceCall(ei, "_jsQuoteString", {""});
    s.traceCall(ei, "_unescapeXML", {"&lt;&#65;"}).trace(ei + ".available");
    EXPECT_EQ(s.run(),
              "<object><property id=\"k\"><string>&lt;&amp;&gt;</string></property></object>\n"
              "<string>null</string>\n<number>2.5</number>\n"
              "<array><property id=\"0\"><true/></property><property id=\"1\"><null/></property>"
              "</array>\n<arguments><null/></arguments>\n2\ntrue\nsay \\\"hi\\\"\nnull\n<&#65;\n"
              "false\n");
}

// Loading answers after the frame, through onData and then onLoad.
TEST(Xml, LoadReadsLocalFilesAfterTheFrame)
{
    auto path = std::filesystem::temp_directory_path() / "zf_xml_load_test.xml";
    std::ofstream(path) << "<greeting>hi</greeting>";
    Script s;
    s.construct("d", "XML", {});
    Asm onLoad;
    onLoad.push({"ok"}).op(Code::GetVariable).op(Code::Trace);
    onLoad.push({"this"}).op(Code::GetVariable).op(Code::Trace);
    s.code().push({"d"}).op(Code::GetVariable).push({"onLoad"});
    s.code().function("", {"ok"}, std::move(onLoad)).op(Code::SetMember);
    s.call("d", "load", {path.string()}).trace("d.loaded");
    s.call("d", "load", {(path.parent_path() / "zf_missing_file.xml").string()});
    test::Runner runner(8);
    EXPECT_EQ(runner.run(std::move(s.code())), "false\n");
    runner.interpreter->endTick();
    EXPECT_EQ(runner.lines, "true\n<greeting>hi</greeting>\nfalse\n<greeting>hi</greeting>\n");
    std::filesystem::remove(path);
}

TEST(Xml, DeepDocumentsAreCutOffNotFatal)
{
    std::string deep;
    for (int i = 0; i < 5000; ++i) {
        deep += "<a>";
    }
    Script s;
    s.xml("d", deep).trace("d.status").call("d", "toString", {}).call("d", "cloneNode", {true});
    EXPECT_EQ(s.run(), "-9\n");
}

// Style sheets hang off TextField, which needs a stage; here they go on _global.
TEST(StyleSheet, ParsesCssAndTransformsStyles)
{
    test::Runner runner(8);
    Vm& vm = static_cast<Vm&>(*runner.interpreter);
    installStyleSheet(vm, vm.global());
    Script s;
    s.construct("css", "StyleSheet", {});
    s.traceCall("css", "parseCSS",
                {"/* c */ h1, .note { font-size: 12px; text-align: CENTER }"
                 " p { color: #FF0000; margin-left: -4; font-family: ' a, ,b' }"});
    s.callPaths("css", "getStyleNames", {}, "names").trace("names");
    s.call("css", "getStyle", {"h1"}, "h1").trace("h1.fontSize").trace("h1.textAlign");
    s.callPaths("css", "transform", {"h1"}, "f").trace("f.size").trace("f.align");
    s.call("css", "getStyle", {"p"}, "p").callPaths("css", "transform", {"p"}, "f");
    s.trace("f.color").trace("f.leftMargin").trace("f.font").trace("f.display");
    s.traceCall("css", "parseCSS", {"broken {"}).traceCall("css", "transform", {test::Null{}});
    EXPECT_EQ(runner.run(std::move(s.code())),
              "true\np,.note,h1\n12px\nCENTER\n12\ncenter\n16711680\n0\n' a,b'\nblock\n"
              "false\nnull\n");
}

TEST(LoadVars, DecodeAndEncode)
{
    Script s;
    s.construct("v", "LoadVars", {}).call("v", "decode", {"a=1+2&b=%41%26&=skip&c"});
    s.trace("v.a").trace("v.b").trace("v.c").traceCall("v", "toString", {});
    EXPECT_EQ(s.run(), "1 2\nA&\n\nc=&b=A%26&a=1%202\n");
}

} // namespace
} // namespace zf::avm1
