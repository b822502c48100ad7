#include <QCryptographicHash>
#include <QXmlStreamWriter>

#include "PackageContents.h"

namespace kelmo {
namespace {

const QString ContentNs = QStringLiteral("http://www.imsproject.org/xsd/imscp_rootv1p1p2");
const QString ScormNs = QStringLiteral("http://www.adlnet.org/xsd/adlcp_rootv1p2");
const QString SchemaNs = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");
const QString MetadataNs = QStringLiteral("http://www.imsglobal.org/xsd/imsmd_rootv1p2p1");
const QString CommonResource = QStringLiteral("RES-COMMON");

class ManifestWriter {
  public:
    ManifestWriter(QByteArray& out, bool scorm) : xml_(&out), scorm_(scorm) {
        xml_.setAutoFormatting(true);
        xml_.setAutoFormattingIndent(1);
    }

    void Write(const PackageRequest& request, const std::vector<PackageItem>& items,
               const QStringList& common) {
        xml_.writeStartDocument();
        xml_.writeDefaultNamespace(ContentNs);
        if (scorm_) xml_.writeNamespace(ScormNs, QStringLiteral("adlcp"));
        xml_.writeNamespace(MetadataNs, QStringLiteral("imsmd"));
        xml_.writeNamespace(SchemaNs, QStringLiteral("xsi"));
        xml_.writeStartElement(ContentNs, QStringLiteral("manifest"));
        const QString identifier = Identifier(request.Title);
        xml_.writeAttribute(QStringLiteral("identifier"), identifier);
        xml_.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
        xml_.writeAttribute(SchemaNs, QStringLiteral("schemaLocation"), SchemaLocation());
        WriteMetadata(request, identifier);
        WriteOrganization(request.Title, items);
        WriteResources(items, common);
        xml_.writeEndElement();
        xml_.writeEndDocument();
    }

  private:
    static QString Identifier(const QString& title) {
        const QByteArray hash = QCryptographicHash::hash(title.toUtf8(), QCryptographicHash::Sha1);
        return QStringLiteral("KELMO-") + QString::fromLatin1(hash.toHex().left(16));
    }

    QString SchemaLocation() const {
        QString location = ContentNs + QStringLiteral(" imscp_rootv1p1p2.xsd");
        if (scorm_) location += QLatin1Char(' ') + ScormNs + QStringLiteral(" adlcp_rootv1p2.xsd");
        return location + QLatin1Char(' ') + MetadataNs + QStringLiteral(" imsmd_rootv1p2p1.xsd");
    }

    // The schema, and the course's names and description as LOM; the short name, when
    // there is one, identifies it.
    void WriteMetadata(const PackageRequest& request, const QString& identifier) {
        xml_.writeStartElement(ContentNs, QStringLiteral("metadata"));
        xml_.writeTextElement(ContentNs, QStringLiteral("schema"),
                              scorm_ ? QStringLiteral("ADL SCORM") : QStringLiteral("IMS Content"));
        xml_.writeTextElement(ContentNs, QStringLiteral("schemaversion"),
                              scorm_ ? QStringLiteral("1.2") : QStringLiteral("1.1.2"));
        xml_.writeStartElement(MetadataNs, QStringLiteral("lom"));
        xml_.writeStartElement(MetadataNs, QStringLiteral("general"));
        const QString shortName = XmlText(request.ShortName).trimmed();
        xml_.writeTextElement(MetadataNs, QStringLiteral("identifier"),
                              shortName.isEmpty() ? identifier : shortName);
        WriteLangString(QStringLiteral("title"), request.Title);
        if (!request.Description.trimmed().isEmpty())
            WriteLangString(QStringLiteral("description"), request.Description);
        xml_.writeEndElement();
        xml_.writeEndElement();
        xml_.writeEndElement();
    }

    void WriteLangString(const QString& element, const QString& text) {
        xml_.writeStartElement(MetadataNs, element);
        xml_.writeStartElement(MetadataNs, QStringLiteral("langstring"));
        xml_.writeAttribute(XmlNs, QStringLiteral("lang"), QStringLiteral("ru"));
        xml_.writeCharacters(XmlText(text));
        xml_.writeEndElement();
        xml_.writeEndElement();
    }

    void WriteOrganization(const QString& title, const std::vector<PackageItem>& items) {
        xml_.writeStartElement(ContentNs, QStringLiteral("organizations"));
        xml_.writeAttribute(QStringLiteral("default"), QStringLiteral("ORG-1"));
        xml_.writeStartElement(ContentNs, QStringLiteral("organization"));
        xml_.writeAttribute(QStringLiteral("identifier"), QStringLiteral("ORG-1"));
        xml_.writeTextElement(ContentNs, QStringLiteral("title"), XmlText(title));
        int number = 0;
        for (const PackageItem& item : items) WriteItem(item, number);
        xml_.writeEndElement();
        xml_.writeEndElement();
    }

    void WriteItem(const PackageItem& item, int& number) {
        const int own = ++number;
        xml_.writeStartElement(ContentNs, QStringLiteral("item"));
        xml_.writeAttribute(QStringLiteral("identifier"), QStringLiteral("ITEM-%1").arg(own));
        if (!item.Page.isEmpty())
            xml_.writeAttribute(QStringLiteral("identifierref"), QStringLiteral("RES-%1").arg(own));
        xml_.writeTextElement(ContentNs, QStringLiteral("title"), XmlText(item.Title));
        for (const PackageItem& child : item.Children) WriteItem(child, number);
        xml_.writeEndElement();
    }

    // One resource per page, numbered as its item, and one for the files every page uses
    // (the contents page first, which it opens with).
    void WriteResources(const std::vector<PackageItem>& items, const QStringList& common) {
        xml_.writeStartElement(ContentNs, QStringLiteral("resources"));
        int number = 0;
        for (const PackageItem& item : items) WriteResourcesOf(item, number);
        if (!common.isEmpty()) {
            xml_.writeStartElement(ContentNs, QStringLiteral("resource"));
            xml_.writeAttribute(QStringLiteral("identifier"), CommonResource);
            xml_.writeAttribute(QStringLiteral("type"), QStringLiteral("webcontent"));
            if (scorm_)
                xml_.writeAttribute(ScormNs, QStringLiteral("scormtype"), QStringLiteral("asset"));
            xml_.writeAttribute(QStringLiteral("href"), common.first());
            for (const QString& file : common) WriteFile(file);
            xml_.writeEndElement();
        }
        xml_.writeEndElement();
    }

    void WriteResourcesOf(const PackageItem& item, int& number) {
        const int own = ++number;
        if (!item.Page.isEmpty()) {
            xml_.writeStartElement(ContentNs, QStringLiteral("resource"));
            xml_.writeAttribute(QStringLiteral("identifier"), QStringLiteral("RES-%1").arg(own));
            xml_.writeAttribute(QStringLiteral("type"), QStringLiteral("webcontent"));
            if (scorm_)
                xml_.writeAttribute(ScormNs, QStringLiteral("scormtype"), QStringLiteral("sco"));
            xml_.writeAttribute(QStringLiteral("href"), item.Page);
            WriteFile(item.Page);
            for (const QString& picture : item.Pictures) WriteFile(picture);
            xml_.writeEmptyElement(ContentNs, QStringLiteral("dependency"));
            xml_.writeAttribute(QStringLiteral("identifierref"), CommonResource);
            xml_.writeEndElement();
        }
        for (const PackageItem& child : item.Children) WriteResourcesOf(child, number);
    }

    void WriteFile(const QString& path) {
        xml_.writeEmptyElement(ContentNs, QStringLiteral("file"));
        xml_.writeAttribute(QStringLiteral("href"), path);
    }

    QXmlStreamWriter xml_;
    const bool scorm_;
};

}  // namespace

std::string ManifestXml(const PackageRequest& request, const std::vector<PackageItem>& items,
                        bool scorm, const QStringList& common) {
    QByteArray out;
    ManifestWriter(out, scorm).Write(request, items, common);
    return out.toStdString();
}

}  // namespace kelmo
