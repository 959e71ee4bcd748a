#include "log/LogRenderer.h"

#include "log/LogEntry2.h"
#include "platform/Memory.h"
#include "text/StringBuffer.h"

#include <cstring>

namespace {

const char kCrlf[] = "\r\n";

// Whether a node carries what its kind needs to be rendered.
bool isRenderable(const LogEntry2& e) {
    switch (e.kind()) {
    case LogEntry2::kContext:
        return e.tag() && e.hasChildArray();
    case LogEntry2::kData:
        return e.tag() && e.text();
    case LogEntry2::kError:
    case LogEntry2::kInfo:
    case LogEntry2::kFragment:
        return e.text() != nullptr;
    default:
        return false;
    }
}

void appendXmlText(const StringBuffer& text, StringBuffer& out) {
    if (LogRenderer::needsCdata(&text)) {
        out.append("<![CDATA[");
        out.appendSb(text);
        out.append("]]>");
    } else {
        out.appendSb(text);
    }
}

void appendEscaped(const StringBuffer& text, StringBuffer& out) {
    StringBuffer escaped(text);
    escaped.encodeXmlSpecial();
    out.appendSb(escaped);
}

// The lines a context opens with, at depth d (the root is at depth 0).
void openContext(const LogEntry2& e, int depth, LogRenderer::Format f, StringBuffer& out) {
    switch (f) {
    case LogRenderer::kText:
        out.appendCharN(' ', 2 * depth);
        out.appendSb(*e.tag());
        out.append(":\r\n");
        break;
    case LogRenderer::kXml:
        out.appendChar('<');
        out.appendSb(*e.tag());
        out.append(">\r\n");
        break;
    case LogRenderer::kHtml:
        out.appendSb(*e.tag());
        out.append(":<blockquote>\r\n");
        break;
    }
}

void closeContext(const LogEntry2& e, LogRenderer::Format f, StringBuffer& out) {
    switch (f) {
    case LogRenderer::kText:
        break;
    case LogRenderer::kXml:
        out.append("</");
        out.appendSb(*e.tag());
        out.append(">\r\n");
        break;
    case LogRenderer::kHtml:
        out.append("</blockquote>\r\n");
        break;
    }
}

// The element that holds a data item, an error or an info line in the XML rendering.
const char* xmlElement(const LogEntry2& e) {
    if (e.kind() == LogEntry2::kData) return e.tag()->getString();
    return e.kind() == LogEntry2::kError ? "error" : "info";
}

void renderLeaf(const LogEntry2& e, int depth, LogRenderer::Format f, StringBuffer& out) {
    const StringBuffer& text = *e.text();
    const bool isData = e.kind() == LogEntry2::kData;
    switch (f) {
    case LogRenderer::kText:
        out.appendCharN(' ', 2 * depth);
        if (isData) {
            out.appendSb(*e.tag());
            out.append(": ");
        }
        out.appendSb(text);
        break;
    case LogRenderer::kXml:
        if (e.kind() == LogEntry2::kFragment) {
            out.appendSb(text); // a fragment is XML already
        } else {
            const char* name = xmlElement(e);
            out.appendChar('<');
            out.append(name);
            out.appendChar('>');
            appendXmlText(text, out);
            out.append("</");
            out.append(name);
            out.appendChar('>');
        }
        break;
    case LogRenderer::kHtml:
        if (isData) {
            out.appendSb(*e.tag());
            out.append(": ");
        }
        appendEscaped(text, out);
        out.append("<br>");
        break;
    }
    out.append(kCrlf);
}

// The open contexts of the walk, with the index of the next child to visit in each.
class WalkStack {
public:
    WalkStack() = default;
    ~WalkStack() { qxFree(frames_); }
    WalkStack(const WalkStack&) = delete;
    WalkStack& operator=(const WalkStack&) = delete;

    bool push(const LogEntry2* ctx) {
        if (count_ == capacity_) {
            int want = capacity_ ? capacity_ * 2 : 16;
            void* block = qxRealloc(frames_, static_cast<size_t>(want) * sizeof(Frame));
            if (!block) return false;
            frames_ = static_cast<Frame*>(block);
            capacity_ = want;
        }
        frames_[count_].ctx = ctx;
        frames_[count_].next = 0;
        ++count_;
        return true;
    }
    void pop() { --count_; }
    int size() const { return count_; }
    const LogEntry2* topContext() const { return frames_[count_ - 1].ctx; }
    // The next child of the innermost open context, or null when it has no more.
    const LogEntry2* nextChild() {
        Frame& f = frames_[count_ - 1];
        if (f.next >= f.ctx->numChildren()) return nullptr;
        return f.ctx->childAt(f.next++);
    }

private:
    struct Frame {
        const LogEntry2* ctx;
        int next;
    };
    Frame* frames_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};

} // namespace

bool LogRenderer::needsCdata(const StringBuffer* text) {
    if (!text) return false;
    const char* s = text->getString();
    if (std::strstr(s, "<![CDATA[") && std::strstr(s, "]]>")) return false;
    return std::strpbrk(s, "\n\t&><") != nullptr;
}

void LogRenderer::render(const LogEntry2* root, Format format, StringBuffer& out) {
    if (!root || root->kind() != LogEntry2::kContext || !isRenderable(*root)) return;
    WalkStack stack;
    if (!stack.push(root)) return;
    openContext(*root, 0, format, out);
    while (stack.size() > 0) {
        const LogEntry2* child = stack.nextChild();
        if (!child) {
            closeContext(*stack.topContext(), format, out);
            stack.pop();
            continue;
        }
        if (!isRenderable(*child)) continue;
        int depth = stack.size(); // the child sits one level below the innermost open context
        if (child->kind() == LogEntry2::kContext) {
            if (!stack.push(child))
                continue; // no memory for a deeper walk: the subtree is left out
            openContext(*child, depth, format, out);
        } else {
            renderLeaf(*child, depth, format, out);
        }
    }
}

void LogRenderer::renderText(const LogEntry2* root, StringBuffer& out) {
    render(root, kText, out);
}
void LogRenderer::renderXml(const LogEntry2* root, StringBuffer& out) {
    render(root, kXml, out);
}
void LogRenderer::renderHtml(const LogEntry2* root, StringBuffer& out) {
    render(root, kHtml, out);
}
