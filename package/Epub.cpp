// An EPUB 3 book of the pages: each page parsed by libxml2's HTML parser and written again
// as XHTML in UTF-8, with only what EPUB's content documents allow (whatever is not allowed
// is left out around its text, never the text itself).
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamWriter>
#include <memory>
#include <string_view>

#include "PackageContents.h"

namespace kelmo {
namespace {

const QString XhtmlNs = QStringLiteral("http://www.w3.org/1999/xhtml");
const QString EpubNs = QStringLiteral("http://www.idpf.org/2007/ops");
const QString OpfNs = QStringLiteral("http://www.idpf.org/2007/opf");
const QString DcNs = QStringLiteral("http://purl.org/dc/elements/1.1/");
const QString BookFolder = QStringLiteral("EPUB/");

// How an HTML element goes into XHTML.
enum class Kind {
    Phrasing,   // inline formatting
    Anchor,     // a
    Break,      // br, wbr
    Image,      // img
    Rule,       // hr
    Paragraph,  // p: phrasing inside, a div when blocks are in it
    TextBlock,  // h1-h6, pre: phrasing inside
    Block,      // div and what becomes one
    List,       // ul, ol
    ListItem,   // li
    Table,
    TablePart,  // thead, tbody, tfoot
    Row,
    Cell,
    Caption,
    Drop,    // left out with everything in it
    Unwrap,  // left out around its content
};

struct Rule {
    Kind Type;
    QString Name;  // the XHTML element written
};

const QHash<QByteArray, Rule>& Rules() {
    static const QHash<QByteArray, Rule> rules = [] {
        QHash<QByteArray, Rule> r;
        const auto add = [&](std::initializer_list<const char*> names, Kind kind,
                             const char* as = nullptr) {
            for (const char* name : names)
                r.insert(name, {kind, QString::fromLatin1(as ? as : name)});
        };
        add({"span", "b",    "i",   "u",    "s",   "em",   "strong", "sub",  "sup", "small", "code",
             "kbd",  "samp", "var", "cite", "dfn", "abbr", "q",      "mark", "del", "ins"},
            Kind::Phrasing);
        add({"font", "big", "nobr", "label", "bdo", "bdi", "time", "blink"}, Kind::Phrasing,
            "span");
        add({"strike"}, Kind::Phrasing, "s");
        add({"tt"}, Kind::Phrasing, "code");
        add({"acronym"}, Kind::Phrasing, "abbr");
        add({"a"}, Kind::Anchor);
        add({"br", "wbr"}, Kind::Break);
        add({"img"}, Kind::Image);
        add({"hr"}, Kind::Rule);
        add({"p"}, Kind::Paragraph);
        add({"h1", "h2", "h3", "h4", "h5", "h6", "pre"}, Kind::TextBlock);
        add({"blockquote"}, Kind::Block);
        add({"div",    "center", "address", "section", "article",    "aside",    "header",
             "footer", "nav",    "main",    "figure",  "figcaption", "form",     "fieldset",
             "dl",     "dt",     "dd",      "listing", "xmp",        "plaintext"},
            Kind::Block, "div");
        add({"ul", "ol"}, Kind::List);
        add({"menu", "dir"}, Kind::List, "ul");
        add({"li"}, Kind::ListItem);
        add({"table"}, Kind::Table);
        add({"thead", "tbody", "tfoot"}, Kind::TablePart);
        add({"tr"}, Kind::Row);
        add({"td", "th"}, Kind::Cell);
        add({"caption"}, Kind::Caption);
        add({"script", "style",    "noscript", "object", "embed",  "applet",   "iframe",
             "frame",  "frameset", "noframes", "input",  "select", "textarea", "button",
             "option", "optgroup", "meta",     "link",   "title",  "base",     "head",
             "map",    "area",     "svg",      "math",   "param",  "audio",    "video",
             "canvas", "template", "colgroup", "col",    "xml"},
            Kind::Drop);
        return r;
    }();
    return rules;
}

Rule RuleOf(const xmlNode* node) {
    const auto found = Rules().constFind(QByteArray(reinterpret_cast<const char*>(node->name)));
    return found == Rules().constEnd() ? Rule{Kind::Unwrap, {}} : *found;
}

QString Attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!value) return {};
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return XmlText(text).trimmed();
}

bool IsWhitespace(const xmlNode* node) {
    return node->type == XML_TEXT_NODE &&
           QString::fromUtf8(reinterpret_cast<const char*>(node->content)).trimmed().isEmpty();
}

// A page's reference as a path inside the package, or nothing for another place.
QString ResolvedPath(const QString& page, const QString& value) {
    const QByteArray bytes = value.toUtf8();
    QString path = QUrl::fromPercentEncoding(bytes);
    path = QDir::cleanPath(path);
    if (path.isEmpty() || path.contains(QLatin1Char(':')) || path.startsWith(QLatin1Char('/')))
        return {};
    const QString folder = QFileInfo(page).path();
    path = QDir::cleanPath(folder == QLatin1String(".") ? path : folder + QLatin1Char('/') + path);
    return path.startsWith(QLatin1String("..")) ? QString() : path;
}

QString XhtmlName(const QString& page) {
    return page.left(page.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".xhtml");
}

// What is known of the book while its pages are written.
struct Book {
    QHash<QString, QString> Pages;         // page in the package: its XHTML name
    QHash<QString, QSet<QString>> Ids;     // XHTML name: the ids it has (after the first pass)
    QHash<QString, QString> Pictures;      // picture in the package: its name in the book
    QHash<QString, QString> PictureTypes;  // picture in the package: its media type
    QSet<QString> Unsupported;             // pictures in a format EPUB cannot show
    QStringList PictureOrder;              // pictures in the package, as the pages show them
    QSet<QString> UsedPictures;            // names in the book of the pictures shown
};

class XhtmlWriter {
  public:
    XhtmlWriter(Book& book, QString name, QByteArray& out)
        : book_(book), name_(std::move(name)), xml_(&out) {}

    void Write(const xmlDoc* doc, const QString& title) {
        const xmlNode* root = xmlDocGetRootElement(doc);
        const xmlNode* body = root;
        QString style;
        for (const xmlNode* child = root ? root->children : nullptr; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            if (xmlStrcasecmp(child->name, BAD_CAST "body") == 0) body = child;
            if (xmlStrcasecmp(child->name, BAD_CAST "head") == 0) style = StyleOf(child);
        }
        xml_.writeStartDocument();
        xml_.writeDTD(QStringLiteral("<!DOCTYPE html>"));
        xml_.writeDefaultNamespace(XhtmlNs);
        xml_.writeStartElement(XhtmlNs, QStringLiteral("html"));
        xml_.writeStartElement(XhtmlNs, QStringLiteral("head"));
        xml_.writeTextElement(XhtmlNs, QStringLiteral("title"), XmlText(title));
        if (!style.trimmed().isEmpty())
            xml_.writeTextElement(XhtmlNs, QStringLiteral("style"), style);
        xml_.writeEndElement();
        xml_.writeStartElement(XhtmlNs, QStringLiteral("body"));
        if (body) Children(body, {});
        xml_.writeEndElement();
        xml_.writeEndElement();
        xml_.writeEndDocument();
    }

    const QSet<QString>& Ids() const { return ids_; }

  private:
    struct Context {
        bool Phrasing = false;  // only phrasing content may be written here
        bool InLink = false;
    };

    static QString StyleOf(const xmlNode* head) {
        QString style;
        for (const xmlNode* child = head->children; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE || xmlStrcasecmp(child->name, BAD_CAST "style"))
                continue;
            xmlChar* text = xmlNodeGetContent(child);
            style += QString::fromUtf8(reinterpret_cast<const char*>(text));
            xmlFree(text);
        }
        return XmlText(style.remove(QStringLiteral("<!--")).remove(QStringLiteral("-->")));
    }

    // True when the node, written where blocks may stand, writes one.
    bool WritesBlock(const xmlNode* node) {
        if (node->type != XML_ELEMENT_NODE) return false;
        if (const auto known = blocks_.constFind(node); known != blocks_.constEnd()) return *known;
        bool block = false;
        switch (RuleOf(node).Type) {
            case Kind::Phrasing:
            case Kind::Anchor:
            case Kind::Unwrap:
                for (const xmlNode* child = node->children; child && !block; child = child->next)
                    block = WritesBlock(child);
                break;
            case Kind::Break:
            case Kind::Image:
            case Kind::Drop:
                break;
            default:
                block = true;
        }
        blocks_.insert(node, block);
        return block;
    }

    bool HasBlockChild(const xmlNode* node) {
        for (const xmlNode* child = node->children; child; child = child->next)
            if (WritesBlock(child)) return true;
        return false;
    }

    void Children(const xmlNode* node, Context context) {
        for (const xmlNode* child = node->children; child; child = child->next)
            Node(child, context);
    }

    void Node(const xmlNode* node, Context context) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            xml_.writeCharacters(
                XmlText(QString::fromUtf8(reinterpret_cast<const char*>(node->content))));
            return;
        }
        if (node->type != XML_ELEMENT_NODE) return;
        const Rule rule = RuleOf(node);
        const bool phrasing = context.Phrasing;
        switch (rule.Type) {
            case Kind::Drop:
                return;
            case Kind::Unwrap:
                IdMarker(node);
                return Children(node, context);
            case Kind::Phrasing:
                if (!phrasing && HasBlockChild(node)) {
                    IdMarker(node);
                    return Children(node, context);
                }
                return Element(node, rule.Name, {true, context.InLink});
            case Kind::Anchor:
                if (context.InLink) return Element(node, QStringLiteral("span"), context);
                return Anchor(node, {phrasing || !HasBlockChild(node), true});
            case Kind::Break:
                Start(node, rule.Name);
                xml_.writeEndElement();
                return;
            case Kind::Rule:
                Start(node, phrasing ? QStringLiteral("br") : rule.Name);
                xml_.writeEndElement();
                return;
            case Kind::Image:
                return Image(node);
            case Kind::Paragraph:
                if (phrasing) return Element(node, QStringLiteral("span"), context);
                if (HasBlockChild(node)) return Element(node, QStringLiteral("div"), context);
                return Element(node, rule.Name, {true, context.InLink});
            case Kind::TextBlock:
                return Element(node, phrasing ? QStringLiteral("span") : rule.Name,
                               {true, context.InLink});
            case Kind::List:
                if (phrasing) return Element(node, QStringLiteral("span"), context);
                return Container(node, rule.Name, Kind::ListItem, QStringLiteral("li"), context);
            case Kind::Table:
                if (phrasing) return Element(node, QStringLiteral("span"), context);
                return Table(node, context);
            default:  // blocks, and parts of lists and tables out of place
                return Element(node, phrasing ? QStringLiteral("span") : QStringLiteral("div"),
                               context);
        }
    }

    void Element(const xmlNode* node, const QString& name, Context inside) {
        Start(node, name);
        Children(node, inside);
        xml_.writeEndElement();
    }

    // An empty span keeps the id of an element that is left out, so links to it still lead
    // somewhere.
    void IdMarker(const xmlNode* node) {
        const QString id = UniqueId(node);
        if (id.isEmpty()) return;
        xml_.writeStartElement(XhtmlNs, QStringLiteral("span"));
        xml_.writeAttribute(QStringLiteral("id"), id);
        xml_.writeEndElement();
    }

    QString UniqueId(const xmlNode* node) {
        static const QRegularExpression space(QStringLiteral("\\s"));
        QString id = Attribute(node, "id");
        if (id.isEmpty() && xmlStrcasecmp(node->name, BAD_CAST "a") == 0)
            id = Attribute(node, "name");
        if (id.isEmpty() || id.contains(space) || ids_.contains(id)) return {};
        ids_.insert(id);
        return id;
    }

    // The start tag with the attributes the element may keep.
    void Start(const xmlNode* node, const QString& name) {
        xml_.writeStartElement(XhtmlNs, name);
        if (const QString id = UniqueId(node); !id.isEmpty())
            xml_.writeAttribute(QStringLiteral("id"), id);
        static const QRegularExpression language(
            QStringLiteral("^[A-Za-z]{1,8}(-[A-Za-z0-9]{1,8})*$"));
        static const QRegularExpression number(QStringLiteral("^[0-9]{1,4}$"));
        if (const QString value = Attribute(node, "class"); !value.isEmpty())
            xml_.writeAttribute(QStringLiteral("class"), value);
        if (const QString value = Attribute(node, "title"); !value.isEmpty())
            xml_.writeAttribute(QStringLiteral("title"), value);
        if (const QString value = Attribute(node, "lang"); language.match(value).hasMatch()) {
            xml_.writeAttribute(QStringLiteral("lang"), value);
            xml_.writeAttribute(XmlNs, QStringLiteral("lang"), value);
        }
        if (const QString value = Attribute(node, "dir").toLower();
            value == QLatin1String("ltr") || value == QLatin1String("rtl"))
            xml_.writeAttribute(QStringLiteral("dir"), value);
        QString style = Attribute(node, "style");
        const QString align = Attribute(node, "align").toLower();
        if (name != QLatin1String("span") && name != QLatin1String("img") &&
            (align == QLatin1String("left") || align == QLatin1String("right") ||
             align == QLatin1String("center") || align == QLatin1String("justify"))) {
            if (!style.isEmpty() && !style.endsWith(QLatin1Char(';'))) style += QLatin1Char(';');
            style += QStringLiteral("text-align:") + align;
        }
        if (!style.isEmpty()) xml_.writeAttribute(QStringLiteral("style"), style);
        if (name == QLatin1String("td") || name == QLatin1String("th")) {
            for (const char* span : {"colspan", "rowspan"})
                if (const QString value = Attribute(node, span);
                    number.match(value).hasMatch() && value.toInt() > 0)
                    xml_.writeAttribute(QLatin1String(span), QString::number(value.toInt()));
        }
        if (name == QLatin1String("ol")) {
            if (const QString value = Attribute(node, "start"); number.match(value).hasMatch())
                xml_.writeAttribute(QStringLiteral("start"), QString::number(value.toInt()));
            if (const QString value = Attribute(node, "type");
                value.size() == 1 && QStringLiteral("1aAiI").contains(value))
                xml_.writeAttribute(QStringLiteral("type"), value);
        }
    }

    void Anchor(const xmlNode* node, Context inside) {
        Start(node, QStringLiteral("a"));
        if (const QString href = Href(Attribute(node, "href")); !href.isEmpty())
            xml_.writeAttribute(QStringLiteral("href"), href);
        Children(node, inside);
        xml_.writeEndElement();
    }

    // A link as the book can keep it: to a web or mail address, or to a page of the book
    // and an id in it; empty for anything else.
    QString Href(const QString& value) {
        if (value.isEmpty()) return {};
        static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
        if (const QRegularExpressionMatch match = scheme.match(value); match.hasMatch()) {
            const QString name = match.captured(1).toLower();
            if (name != QLatin1String("http") && name != QLatin1String("https") &&
                name != QLatin1String("mailto") && name != QLatin1String("ftp"))
                return {};
            const QUrl url(value, QUrl::TolerantMode);
            return url.isValid() ? QString::fromLatin1(url.toEncoded()) : QString();
        }
        const qsizetype hash = value.indexOf(QLatin1Char('#'));
        const QString path = hash < 0 ? value : value.left(hash);
        const QString fragment =
            hash < 0 ? QString() : QUrl::fromPercentEncoding(value.mid(hash + 1).toUtf8());
        QString target = name_;
        if (!path.isEmpty()) {
            const auto page = book_.Pages.constFind(ResolvedPath(page_, path));
            if (page == book_.Pages.constEnd()) return {};
            target = *page;
        }
        const bool known = !fragment.isEmpty() && book_.Ids.value(target).contains(fragment);
        if (path.isEmpty() && !known) return {};
        QString href = target == name_ ? QString() : RelativePath(name_, target);
        if (known)
            href += QLatin1Char('#') + QString::fromLatin1(QUrl::toPercentEncoding(fragment));
        return href;
    }

    void Image(const xmlNode* node) {
        const QString alt = Attribute(node, "alt");
        const QString source = ResolvedPath(page_, Attribute(node, "src"));
        const auto picture = book_.Pictures.constFind(source);
        if (source.isEmpty() || picture == book_.Pictures.constEnd()) {
            xml_.writeCharacters(alt);  // a picture the book has not
            return;
        }
        book_.UsedPictures.insert(*picture);
        xml_.writeStartElement(XhtmlNs, QStringLiteral("img"));
        if (const QString id = UniqueId(node); !id.isEmpty())
            xml_.writeAttribute(QStringLiteral("id"), id);
        xml_.writeAttribute(QStringLiteral("src"), RelativePath(name_, *picture));
        xml_.writeAttribute(QStringLiteral("alt"), alt);
        static const QRegularExpression number(QStringLiteral("^[0-9]{1,5}$"));
        for (const char* size : {"width", "height"})
            if (const QString value = Attribute(node, size); number.match(value).hasMatch())
                xml_.writeAttribute(QLatin1String(size), QString::number(value.toInt()));
        xml_.writeEndElement();
    }

    // An element whose children must all be of one kind (the items of a list, the cells of
    // a row): what stands between them goes into one of that kind.
    void Container(const xmlNode* node, const QString& name, Kind kind, const QString& wrapper,
                   Context context) {
        Start(node, name);
        bool open = false;
        for (const xmlNode* child = node->children; child; child = child->next) {
            const bool own = child->type == XML_ELEMENT_NODE && RuleOf(child).Type == kind;
            if (own || (!open && (IsWhitespace(child) || (child->type != XML_ELEMENT_NODE &&
                                                          child->type != XML_TEXT_NODE)))) {
                if (open) xml_.writeEndElement();
                open = false;
                if (own) Element(child, RuleOf(child).Name, context);
                continue;
            }
            if (!open) xml_.writeStartElement(XhtmlNs, wrapper);
            open = true;
            Node(child, context);
        }
        if (open) xml_.writeEndElement();
        xml_.writeEndElement();
    }

    // A table as a caption and one body of rows; what stands where a row or cell should is
    // put in one.
    void Table(const xmlNode* node, Context context) {
        std::vector<const xmlNode*> rows;  // rows, and what stands between them
        const xmlNode* caption = nullptr;
        for (const xmlNode* child = node->children; child; child = child->next) {
            const Kind kind = child->type == XML_ELEMENT_NODE ? RuleOf(child).Type : Kind::Drop;
            if (kind == Kind::TablePart) {
                for (const xmlNode* row = child->children; row; row = row->next)
                    if (!IsWhitespace(row)) rows.push_back(row);
            } else if (kind == Kind::Caption && !caption) {
                caption = child;
            } else if (child->type == XML_ELEMENT_NODE ? kind != Kind::Drop
                                                       : !IsWhitespace(child)) {
                if (child->type == XML_ELEMENT_NODE || child->type == XML_TEXT_NODE)
                    rows.push_back(child);
            }
        }
        Start(node, QStringLiteral("table"));
        if (const QString border = Attribute(node, "border");
            !border.isEmpty() && border != QLatin1String("0"))
            xml_.writeAttribute(QStringLiteral("border"), QStringLiteral("1"));
        if (caption) Element(caption, QStringLiteral("caption"), {true, context.InLink});
        if (!rows.empty()) xml_.writeStartElement(XhtmlNs, QStringLiteral("tbody"));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i]->type == XML_ELEMENT_NODE && RuleOf(rows[i]).Type == Kind::Row) {
                Container(rows[i], QStringLiteral("tr"), Kind::Cell, QStringLiteral("td"), context);
                continue;
            }
            xml_.writeStartElement(XhtmlNs, QStringLiteral("tr"));
            xml_.writeStartElement(XhtmlNs, QStringLiteral("td"));
            for (; i < rows.size() &&
                   !(rows[i]->type == XML_ELEMENT_NODE && RuleOf(rows[i]).Type == Kind::Row);
                 ++i)
                Node(rows[i], context);
            --i;
            xml_.writeEndElement();
            xml_.writeEndElement();
        }
        if (!rows.empty()) xml_.writeEndElement();
        xml_.writeEndElement();
    }

  public:
    QString page_;  // the page's path in the package, for its relative references

  private:
    Book& book_;
    const QString name_;
    QXmlStreamWriter xml_;
    QSet<QString> ids_;
    QHash<const xmlNode*, bool> blocks_;
};

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Document = std::unique_ptr<xmlDoc, DocFree>;

Document ParsePage(std::string_view bytes, const QString& path) {
    if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos)
        bytes = "<html><body></body></html>";  // the parser makes no document of nothing
    Document doc(htmlReadMemory(bytes.data(), int(qMin<std::size_t>(bytes.size(), INT_MAX)),
                                path.toUtf8().constData(), "windows-1251",
                                HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                    HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC));
    if (!doc) throw std::runtime_error("не удалось разобрать страницу " + path.toStdString());
    return doc;
}

// The media type of a picture by its first bytes; empty for a format EPUB readers need not show.
QString PictureType(std::string_view bytes) {
    if (bytes.starts_with("\x89PNG\r\n\x1a\n")) return QStringLiteral("image/png");
    if (bytes.starts_with("\xff\xd8\xff")) return QStringLiteral("image/jpeg");
    if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a"))
        return QStringLiteral("image/gif");
    return {};
}

// The picture's name in the book: its own, with an ending that matches its type.
QString PictureName(const QString& path, const QString& type) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString expected = type.mid(6);  // "png", "jpeg", "gif"
    if (suffix == expected || (expected == QLatin1String("jpeg") && suffix == QLatin1String("jpg")))
        return path;
    return path + QLatin1Char('.') + expected;
}

struct BookPage {
    QString Path;  // in the package
    QString Title;
    Document Doc;
};

void CollectPages(const std::vector<PackageItem>& items, std::vector<const PackageItem*>& pages) {
    for (const PackageItem& item : items) {
        if (!item.Page.isEmpty()) pages.push_back(&item);
        CollectPages(item.Children, pages);
    }
}

bool HasPages(const PackageItem& item) {
    if (!item.Page.isEmpty()) return true;
    for (const PackageItem& child : item.Children)
        if (HasPages(child)) return true;
    return false;
}

void NavList(QXmlStreamWriter& xml, const std::vector<PackageItem>& items) {
    xml.writeStartElement(XhtmlNs, QStringLiteral("ol"));
    for (const PackageItem& item : items) {
        if (!HasPages(item)) continue;
        xml.writeStartElement(XhtmlNs, QStringLiteral("li"));
        if (item.Page.isEmpty()) {
            xml.writeTextElement(XhtmlNs, QStringLiteral("span"), XmlText(DisplayTitle(item)));
        } else {
            xml.writeStartElement(XhtmlNs, QStringLiteral("a"));
            xml.writeAttribute(QStringLiteral("href"), XhtmlName(item.Page));
            xml.writeCharacters(XmlText(DisplayTitle(item)));
            xml.writeEndElement();
        }
        if (std::any_of(item.Children.begin(), item.Children.end(), HasPages))
            NavList(xml, item.Children);
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

std::string NavDocument(const std::vector<PackageItem>& items) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE html>"));
    xml.writeDefaultNamespace(XhtmlNs);
    xml.writeNamespace(EpubNs, QStringLiteral("epub"));
    xml.writeStartElement(XhtmlNs, QStringLiteral("html"));
    xml.writeStartElement(XhtmlNs, QStringLiteral("head"));
    xml.writeTextElement(XhtmlNs, QStringLiteral("title"), QStringLiteral("Содержание"));
    xml.writeEndElement();
    xml.writeStartElement(XhtmlNs, QStringLiteral("body"));
    xml.writeStartElement(XhtmlNs, QStringLiteral("nav"));
    xml.writeAttribute(EpubNs, QStringLiteral("type"), QStringLiteral("toc"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("toc"));
    xml.writeTextElement(XhtmlNs, QStringLiteral("h1"), QStringLiteral("Содержание"));
    NavList(xml, items);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out.toStdString();
}

struct ManifestEntry {
    QString Id;
    QString Href;
    QString Type;
};

std::string PackageDocument(const PackageRequest& request,
                            const std::vector<ManifestEntry>& entries, const QStringList& spine) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(OpfNs);
    xml.writeNamespace(DcNs, QStringLiteral("dc"));
    xml.writeStartElement(OpfNs, QStringLiteral("package"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("3.0"));
    xml.writeAttribute(QStringLiteral("unique-identifier"), QStringLiteral("book-id"));
    xml.writeAttribute(XmlNs, QStringLiteral("lang"), QStringLiteral("ru"));

    xml.writeStartElement(OpfNs, QStringLiteral("metadata"));
    const QString title = XmlText(request.Title).simplified();
    const QString shortName = XmlText(request.ShortName).simplified();
    const QUuid id =
        QUuid::createUuidV5(QUuid(QStringLiteral("{6ba7b811-9dad-11d1-80b4-00c04fd430c8}")),
                            title + QLatin1Char('\n') + shortName);
    xml.writeStartElement(DcNs, QStringLiteral("identifier"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("book-id"));
    xml.writeCharacters(QStringLiteral("urn:uuid:") + id.toString(QUuid::WithoutBraces));
    xml.writeEndElement();
    const auto titled = [&](const QString& text, const QString& key, const QString& type) {
        xml.writeStartElement(DcNs, QStringLiteral("title"));
        xml.writeAttribute(QStringLiteral("id"), key);
        xml.writeCharacters(text);
        xml.writeEndElement();
        xml.writeStartElement(OpfNs, QStringLiteral("meta"));
        xml.writeAttribute(QStringLiteral("refines"), QLatin1Char('#') + key);
        xml.writeAttribute(QStringLiteral("property"), QStringLiteral("title-type"));
        xml.writeCharacters(type);
        xml.writeEndElement();
    };
    titled(title.isEmpty() ? QStringLiteral("Без названия") : title, QStringLiteral("title"),
           QStringLiteral("main"));
    if (!shortName.isEmpty() && shortName != title)
        titled(shortName, QStringLiteral("short-title"), QStringLiteral("short"));
    xml.writeTextElement(DcNs, QStringLiteral("language"), QStringLiteral("ru"));
    if (const QString description = XmlText(request.Description).trimmed(); !description.isEmpty())
        xml.writeTextElement(DcNs, QStringLiteral("description"), description);
    xml.writeStartElement(OpfNs, QStringLiteral("meta"));
    xml.writeAttribute(QStringLiteral("property"), QStringLiteral("dcterms:modified"));
    xml.writeCharacters(
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddThh:mm:ssZ")));
    xml.writeEndElement();
    xml.writeEndElement();

    xml.writeStartElement(OpfNs, QStringLiteral("manifest"));
    for (const ManifestEntry& entry : entries) {
        xml.writeEmptyElement(OpfNs, QStringLiteral("item"));
        xml.writeAttribute(QStringLiteral("id"), entry.Id);
        xml.writeAttribute(QStringLiteral("href"), entry.Href);
        xml.writeAttribute(QStringLiteral("media-type"), entry.Type);
        if (entry.Id == QLatin1String("nav"))
            xml.writeAttribute(QStringLiteral("properties"), QStringLiteral("nav"));
    }
    xml.writeEndElement();
    xml.writeStartElement(OpfNs, QStringLiteral("spine"));
    for (const QString& idref : spine) {
        xml.writeEmptyElement(OpfNs, QStringLiteral("itemref"));
        xml.writeAttribute(QStringLiteral("idref"), idref);
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out.toStdString();
}

constexpr char Container[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
    " <rootfiles>\n"
    "  <rootfile full-path=\"EPUB/package.opf\" media-type=\"application/oebps-package+xml\"/>\n"
    " </rootfiles>\n"
    "</container>\n";

}  // namespace

std::vector<PackageFile> EpubFiles(const PackageContents& contents, const PackageRequest& request,
                                   QStringList& notes) {
    std::vector<const PackageItem*> items;
    CollectPages(contents.Items, items);
    if (items.empty()) throw std::runtime_error("в книге нет ни одной страницы");

    Book book;
    QHash<QString, std::string_view> bytes;
    for (const PackageFile& file : contents.Files) bytes.insert(file.Path, file.Bytes);
    for (const PackageItem* item : items) {
        book.Pages.insert(item->Page, XhtmlName(item->Page));
        for (const QString& picture : item->Pictures) {
            if (book.Pictures.contains(picture) || book.Unsupported.contains(picture)) continue;
            const QString type = PictureType(bytes.value(picture));
            if (type.isEmpty()) {
                book.Unsupported.insert(picture);
                notes.append(QStringLiteral("Рисунок \"%1\" не вошёл в книгу EPUB: его формат "
                                            "она не поддерживает (нужен PNG, JPEG или GIF)")
                                 .arg(picture));
                continue;
            }
            book.Pictures.insert(picture, PictureName(picture, type));
            book.PictureOrder.append(picture);
            book.PictureTypes.insert(PictureName(picture, type), type);
        }
    }

    std::vector<BookPage> pages;
    for (const PackageItem* item : items)
        pages.push_back(
            {item->Page, DisplayTitle(*item), ParsePage(bytes.value(item->Page), item->Page)});
    // The first pass learns each page's ids, the second checks the links against them.
    std::vector<PackageFile> files{{QStringLiteral("mimetype"), "application/epub+zip", true},
                                   {QStringLiteral("META-INF/container.xml"), Container}};
    std::vector<ManifestEntry> entries{{QStringLiteral("nav"), QStringLiteral("nav.xhtml"),
                                        QStringLiteral("application/xhtml+xml")}};
    QStringList spine;
    for (const bool checking : {false, true}) {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            QByteArray out;
            const QString name = XhtmlName(pages[i].Path);
            XhtmlWriter writer(book, name, out);
            writer.page_ = pages[i].Path;
            writer.Write(pages[i].Doc.get(), pages[i].Title);
            if (!checking) {
                book.Ids.insert(name, writer.Ids());
                continue;
            }
            files.push_back({BookFolder + name, out.toStdString()});
            const QString id = QStringLiteral("page-%1").arg(i + 1);
            entries.push_back({id, name, QStringLiteral("application/xhtml+xml")});
            spine.append(id);
        }
    }
    int number = 0;
    for (const QString& picture : book.PictureOrder) {
        const QString name = book.Pictures.value(picture);
        if (!book.UsedPictures.contains(name)) continue;
        files.push_back({BookFolder + name, std::string(bytes.value(picture))});
        entries.push_back(
            {QStringLiteral("picture-%1").arg(++number), name, book.PictureTypes.value(name)});
    }
    files.push_back({BookFolder + QStringLiteral("nav.xhtml"), NavDocument(contents.Items)});
    files.push_back(
        {BookFolder + QStringLiteral("package.opf"), PackageDocument(request, entries, spine)});
    return files;
}

}  // namespace kelmo
