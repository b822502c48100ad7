#include "DocumentLabels.h"

#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/reflection/InvocationTargetException.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/ScriptFrameworkErrorException.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/theMasterScriptProviderFactory.hpp>
#include <cstring>

namespace kelmo {

using namespace com::sun::star;
using com::sun::star::uno::Reference;
using com::sun::star::uno::UNO_QUERY_THROW;

namespace {

const char* const Library = "KelmoLabels";
const char* const Module = "Labels";
const char* const ScriptUrl =
    "vnd.sun.star.script:KelmoLabels.Labels.WriteLabels?language=Basic&location=application";
const char* const LoadUrl =
    "vnd.sun.star.script:KelmoLabels.Labels.LoadLocked?language=Basic&location=application";

// Labels are all read first: switching one number off renumbers the paragraphs after it.
// NumberingType 5, 6 and 8 are "none", a bullet character and a bullet picture.
const char* const Source = R"(Option Explicit
Dim Paragraphs As Object
Dim Labels As Object

Function LoadLocked(Url As String, Arguments As Variant) As Object
    Dim Document As Object
    Document = StarDesktop.loadComponentFromURL(Url, "_blank", 0, Arguments)
    If Not IsNull(Document) Then Document.lockControllers()
    LoadLocked = Document
End Function

Sub WriteLabels(Document As Object)
    DescribePictures(Document)
    Paragraphs = New Collection
    Labels = New Collection
    CollectText(Document.getText())
    Document.lockControllers()
    Dim i As Long
    For i = 1 To Paragraphs.Count
        Dim Paragraph As Object
        Paragraph = Paragraphs(i)
        Paragraph.NumberingIsNumber = False
        Paragraph.getText().insertString(Paragraph.getStart(), Labels(i) & " ", False)
    Next i
    Document.unlockControllers()
End Sub

Sub CollectText(Text As Object)
    Dim Items As Object
    Items = Text.createEnumeration()
    Do While Items.hasMoreElements()
        Dim Item As Object
        Item = Items.nextElement()
        If Item.supportsService("com.sun.star.text.TextTable") Then
            Dim Name As Variant
            For Each Name In Item.getCellNames()
                CollectText(Item.getCellByName(Name).getText())
            Next Name
        ElseIf Item.supportsService("com.sun.star.text.Paragraph") Then
            If IsNumbered(Item) Then
                Paragraphs.Add(Item)
                Labels.Add(Item.ListLabelString)
            End If
        End If
    Loop
End Sub

'' The export writes a picture's or an object's Title as its alt: it gets the description
' (a formula's text when it has none), Chr(57344) and the title, for PictureTexts.
Sub DescribePictures(Document As Object)
    On Error Resume Next
    Dim i As Long, Item As Object, Description As String
    For i = 0 To Document.GraphicObjects.getCount() - 1
        Item = Document.GraphicObjects.getByIndex(i)
        Item.Title = Item.Description & Chr(57344) & Item.Title
    Next i
    For i = 0 To Document.EmbeddedObjects.getCount() - 1
        Item = Document.EmbeddedObjects.getByIndex(i)
        Description = Item.Description
        If Description = "" Then Description = Item.Model.Formula
        Item.Title = Description & Chr(57344) & Item.Title
    Next i
End Sub

Function IsNumbered(Paragraph As Object) As Boolean
    IsNumbered = False
    If Paragraph.ListLabelString = "" Then Exit Function
    If IsNull(Paragraph.NumberingRules) Or IsEmpty(Paragraph.NumberingRules) Then Exit Function
    Dim Level As Variant, Setting As Variant
    Level = Paragraph.NumberingRules.getByIndex(Paragraph.NumberingLevel)
    For Each Setting In Level
        If Setting.Name = "NumberingType" Then
            IsNumbered = Setting.Value <> 5 And Setting.Value <> 6 And Setting.Value <> 8
        End If
    Next Setting
End Function
)";

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
    const uno::Any source(rtl::OUString(Source, sal_Int32(strlen(Source)), RTL_TEXTENCODING_UTF8));
    if (modules->hasByName(module)) {
        modules->replaceByName(module, source);
    } else {
        modules->insertByName(module, source);
    }
}

}  // namespace

DocumentLabels::DocumentLabels(const Reference<uno::XComponentContext>& office) {
    try {
        InstallSource(office);
        const Reference<script::provider::XScriptProvider> provider(
            script::provider::theMasterScriptProviderFactory::get(office)->createScriptProvider(
                uno::Any(rtl::OUString())),
            UNO_QUERY_THROW);
        script_ = provider->getScript(rtl::OUString::createFromAscii(ScriptUrl));
        load_ = provider->getScript(rtl::OUString::createFromAscii(LoadUrl));
    } catch (const lang::DisposedException&) {
        throw;
    } catch (const uno::Exception&) {
        script_.clear();  // documents then keep LibreOffice's own numbering
        load_.clear();
    }
}

void DocumentLabels::WriteAsText(const Reference<lang::XComponent>& document) {
    if (!script_.is()) return;
    uno::Sequence<sal_Int16> outIndex;
    uno::Sequence<uno::Any> out;
    try {
        const uno::Any argument(document);
        script_->invoke(uno::Sequence<uno::Any>(&argument, 1), outIndex, out);
    } catch (const lang::DisposedException&) {
        throw;
    } catch (const script::provider::ScriptFrameworkErrorException&) {
    } catch (const reflection::InvocationTargetException&) {
    }
}

bool DocumentLabels::LoadLocked(const rtl::OUString& url,
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
