#include "OfficeRoutines.h"

#include <QByteArray>
#include <QFile>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/reflection/InvocationTargetException.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/ScriptFrameworkErrorException.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/theMasterScriptProviderFactory.hpp>

namespace kelmo {

using namespace com::sun::star;
using com::sun::star::uno::Reference;
using com::sun::star::uno::UNO_QUERY_THROW;

namespace {

const char* const Library = "KelmoRoutines";
const char* const Module = "Routines";
const char* const ScriptUrl =
    "vnd.sun.star.script:KelmoRoutines.Routines.WriteLabels?language=Basic&location=application";
const char* const LoadUrl =
    "vnd.sun.star.script:KelmoRoutines.Routines.LoadLocked?language=Basic&location=application";

// The module's Basic text, UTF-8.
QByteArray Source() {
    QFile file(QStringLiteral(":/OfficeRoutines.bas"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Puts Source into the application Basic library, replacing an older copy.
void InstallSource(const Reference<uno::XComponentContext>& office) {
    const Reference<script::XLibraryContainer> libraries(
        office->getServiceManager()->createInstanceWithContext(
            "com.sun.star.script.ApplicationScriptLibraryContainer", office),
        UNO_QUERY_THROW);
    const rtl::OUString library = rtl::OUString::createFromAscii(Library);
    const rtl::OUString module = rtl::OUString::createFromAscii(Module);
    if (!libraries->hasByName(library)) libraries->createLibrary(library);
    libraries->loadLibrary(library);  // one kept in the profile from an earlier run
    const Reference<container::XNameContainer> modules(libraries->getByName(library),
                                                       UNO_QUERY_THROW);
    const QByteArray text = Source();
    const uno::Any source(
        rtl::OUString(text.constData(), sal_Int32(text.size()), RTL_TEXTENCODING_UTF8));
    if (modules->hasByName(module)) {
        modules->replaceByName(module, source);
    } else {
        modules->insertByName(module, source);
    }
}

}  // namespace

OfficeRoutines::OfficeRoutines(const Reference<uno::XComponentContext>& office) {
    try {
        InstallSource(office);
        const Reference<script::provider::XScriptProvider> provider(
            script::provider::theMasterScriptProviderFactory::get(office)->createScriptProvider(
                uno::Any(rtl::OUString())),
            UNO_QUERY_THROW);
        labels_ = provider->getScript(rtl::OUString::createFromAscii(ScriptUrl));
        load_ = provider->getScript(rtl::OUString::createFromAscii(LoadUrl));
    } catch (const lang::DisposedException&) {
        throw;
    } catch (const uno::Exception&) {
        labels_.clear();  // documents then keep LibreOffice's own numbering
        load_.clear();
    }
}

void OfficeRoutines::WriteLabelsAsText(const Reference<lang::XComponent>& document) {
    if (!labels_.is()) return;
    uno::Sequence<sal_Int16> outIndex;
    uno::Sequence<uno::Any> out;
    try {
        const uno::Any argument(document);
        labels_->invoke(uno::Sequence<uno::Any>(&argument, 1), outIndex, out);
    } catch (const lang::DisposedException&) {
        throw;
    } catch (const script::provider::ScriptFrameworkErrorException&) {
    } catch (const reflection::InvocationTargetException&) {
    }
}

bool OfficeRoutines::LoadLocked(const rtl::OUString& url,
                                const uno::Sequence<beans::PropertyValue>& arguments,
                                Reference<lang::XComponent>& document) {
    if (!load_.is()) return false;
    uno::Sequence<sal_Int16> outIndex;
    uno::Sequence<uno::Any> out;
    const uno::Any parameters[] = {uno::Any(url), uno::Any(arguments)};
    try {
        load_->invoke({parameters, std::size(parameters)}, outIndex, out) >>= document;
    } catch (const lang::DisposedException&) {
        throw;
    } catch (const script::provider::ScriptFrameworkErrorException&) {
        document.clear();
    } catch (const reflection::InvocationTargetException&) {
        document.clear();  // the load failed
    }
    return true;
}

}  // namespace kelmo
