REM Our Basic routines inside LibreOffice, run through the script provider. They keep
REM nothing between documents; a failure halfway unlocks the controllers, then is reported.
Option Explicit

REM Loads the document with its controllers locked from the first moment, so that
REM LibreOffice does not lay out every page while it waits for our next call.
Function LoadLocked(Url As String, Arguments As Variant) As Object
    Dim Document As Object
    Document = StarDesktop.loadComponentFromURL(Url, "_blank", 0, Arguments)
    If Not IsNull(Document) Then Document.lockControllers()
    LoadLocked = Document
End Function

REM Puts every numbered paragraph's label in front of its text as text. The labels are all
REM read first: switching one number off renumbers the paragraphs after it.
Sub WriteLabels(Document As Object)
    DescribePictures(Document)
    Dim Paragraphs As New Collection
    Dim Labels As New Collection
    CollectNumbered(Document.getText(), Paragraphs, Labels)
    Document.lockControllers()
    On Error GoTo Failed
    Dim i As Long
    For i = 1 To Paragraphs.Count
        Dim Paragraph As Object
        Paragraph = Paragraphs(i)
        Paragraph.NumberingIsNumber = False
        Paragraph.getText().insertString(Paragraph.getStart(), Labels(i) & " ", False)
    Next i
    Document.unlockControllers()
    Exit Sub
Failed:
    Document.unlockControllers()
    Error Err
End Sub

REM The numbered paragraphs of Text, tables included, and their labels.
Sub CollectNumbered(Text As Object, Paragraphs As Object, Labels As Object)
    Dim Items As Object
    Items = Text.createEnumeration()
    Do While Items.hasMoreElements()
        Dim Item As Object
        Item = Items.nextElement()
        If Item.supportsService("com.sun.star.text.TextTable") Then
            Dim Name As Variant
            For Each Name In Item.getCellNames()
                CollectNumbered(Item.getCellByName(Name).getText(), Paragraphs, Labels)
            Next Name
        ElseIf Item.supportsService("com.sun.star.text.Paragraph") Then
            If IsNumbered(Item) Then
                Paragraphs.Add(Item)
                Labels.Add(Item.ListLabelString)
            End If
        End If
    Loop
End Sub

REM The export writes a picture's or an object's Title as its alt: it gets the description
REM (a formula's text when it has none), Chr(57344) and the title, for PictureTexts.
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

REM NumberingType 5, 6 and 8 are "none", a bullet character and a bullet picture.
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
