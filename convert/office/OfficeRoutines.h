// Our Basic routines inside LibreOffice (OfficeRoutines.bas, compiled in as a resource):
// loading a document with its controllers locked, and writing the list labels of numbered
// paragraphs as text in the document LibreOffice holds in memory, so that the HTML export
// gives "1.1 Title" (label, one blank, text) where it would glue the number to the text.
// Bulleted paragraphs keep their bullets.
//
// The module is put into LibreOffice's application library of our private profile once per
// connection and run through the script provider: one bridge call per document instead of
// several per paragraph.
//
// Errors: UNO exceptions pass through (a broken bridge); when the routines cannot be set
// up, LoadLocked says so and WriteLabelsAsText does nothing; a routine that fails on a
// document has unlocked its controllers, and the labels written before the failure stay.
#pragma once

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace kelmo {

class OfficeRoutines {
  public:
    explicit OfficeRoutines(
        const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& office);
    void WriteLabelsAsText(
        const com::sun::star::uno::Reference<com::sun::star::lang::XComponent>& document);

    // Loads the document from url with its controllers locked from the first moment, so
    // that LibreOffice does not lay out all its pages while idle between our calls; the
    // labels and the export need no layout. False when the routine is not there.
    bool LoadLocked(
        const rtl::OUString& url,
        const com::sun::star::uno::Sequence<com::sun::star::beans::PropertyValue>& arguments,
        com::sun::star::uno::Reference<com::sun::star::lang::XComponent>& document);

  private:
    com::sun::star::uno::Reference<com::sun::star::script::provider::XScript> labels_;
    com::sun::star::uno::Reference<com::sun::star::script::provider::XScript> load_;
};

}  // namespace kelmo
