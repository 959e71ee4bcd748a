#pragma once
// The three renderings of a log tree: plain text, XML and HTML. Each is one depth-first,
// pre-order walk from the root, children in the order they were added, every line ended by
// CR LF, with no header, declaration or trailing blank line.
//
// Notes for whoever changes this file:
// - The reports are read by clients byte for byte; the three formats must not drift. Text
//   indents two spaces per level, XML and HTML do not indent at all.
// - Only the XML form wraps texts in CDATA (needsCdata), and it never escapes anything; only the
//   HTML form escapes, and then only texts, never names.
// - The walk keeps its own stack instead of recursing, because the tree has no depth limit.
// - A node that lacks what its kind needs produces nothing (a context: nor do its children).
class LogEntry2;
class StringBuffer;

class LogRenderer {
public:
    // Each appends the rendering of the tree under root to out (out is not cleared).
    static void renderText(const LogEntry2* root, StringBuffer& out);
    static void renderXml(const LogEntry2* root, StringBuffer& out);
    static void renderHtml(const LogEntry2* root, StringBuffer& out);

    // Whether the XML rendering wraps text in a CDATA section: never for a missing text or one
    // that already holds both "<![CDATA[" and "]]>"; otherwise when it holds LF, TAB, '&', '>'
    // or '<'.
    static bool needsCdata(const StringBuffer* text);

    enum Format { kText, kXml, kHtml };
    static void render(const LogEntry2* root, Format format, StringBuffer& out);
};
