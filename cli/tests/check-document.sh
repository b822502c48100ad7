#!/usr/bin/env bash
# Runs one case of kelmo-convert on a word-processor document:
#   check-document.sh PROGRAM CONVERT_TESTS_DIR CASE
# A stand-in soffice placed first on PATH reproduces the converter's failures.
set -uo pipefail

program=$1
fixtures=$2
case_name=$3
examples=$(cd "$fixtures/../../examples" && pwd)
source "$(cd "$(dirname "$0")" && pwd)/common.sh"
export XDG_CACHE_HOME=$scratch/cache  # the LibreOffice profile stays in the scratch folder

# stand_in MODE: soffice on PATH is the stand-in converter in that mode.
stand_in() {
    mkdir -p bin
    printf '#!/bin/sh\nexec "%s/fake-converter.sh" %s "%s/record" "$@"\n' \
        "$fixtures" "$1" "$scratch" >bin/soffice
    chmod +x bin/soffice
    export PATH=$scratch/bin:$PATH
}
# how many of the stand-in and the processes it started live (not zombies), each by its id
live_started() {
    [ -s record.pids ] || { echo "the stand-in did not run"; return; }
    local pid live=0
    for pid in $(cat record.pids); do
        ps -o stat= -p "$pid" | grep -qv '^Z' && live=$((live + 1))
    done
    echo $live
}
word97_signature() { printf '\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1'; head -c 500 /dev/zero; }
# office_made FORMAT FOLDER FIXTURE: LibreOffice's own conversion of a fixture into FOLDER
office_made() {
    local made
    made="$2/$(basename "${3%.*}").$1"
    soffice -env:UserInstallation="file://$scratch/profile" --headless --norestore \
        --convert-to "$1" --outdir "$2" "$fixtures/data/$3" >/dev/null 2>&1
    [ -s "$made" ] || fail "LibreOffice made no ${made##*/}"
}

case "$case_name" in
document_converted)
    mkdir author
    office_made doc author course.fodt
    before=$(md5sum author/course.doc)
    run --output out author/course.doc
    expect_rc 0
    expect_contains stdout "$out" "          1.1.1.1.1.1. Итоги"
    expect_contains stdout "$out" "Страниц: 7"
    grep -q 'charset=windows-1251' out/i.~ht || fail "i.~ht does not declare windows-1251"
    grep -q '&#945;' out/i.~ht || fail "alpha is not a character reference"
    grep -q ">$PWD/author/course.doc</sdfield>" out/i.~ht ||
        fail "the file name field does not name the document"
    picture=$(cd out && ls i_html_*.png 2>/dev/null | head -1)
    [ -n "$picture" ] || fail "no picture beside i.~ht"
    grep -q "src=\"$picture\"" out/page_1_1_1_1_.htm || fail "page does not refer to $picture"
    expect_eq document "$(md5sum author/course.doc)" "$before"
    expect_eq "author folder" "$(ls -A author)" "course.doc"
    ;;
document_word95)
    cp "$fixtures/data/word95-tables.doc" prices.doc
    run --output out prices.doc
    expect_rc 0
    grep -q 'charset=windows-1251' out/i.~ht || fail "i.~ht does not declare windows-1251"
    # "Наименование" in windows-1251
    grep -q $'\xcd\xe0\xe8\xec\xe5\xed\xee\xe2\xe0\xed\xe8\xe5' out/page_0.htm ||
        fail "the Cyrillic text did not come through"
    ;;
document_formulas)
    # an Equation Editor object in a .doc and an OMML equation in a .docx come out as pictures
    cp "$fixtures/data/equation.doc" equation.doc
    office_made docx . formula.fodt
    for document in equation.doc formula.docx; do
        run --output "out-$document" "$document"
        expect_rc 0
        picture=$(cd "out-$document" && ls i_html_* 2>/dev/null | head -1)
        [ -s "out-$document/$picture" ] || fail "$document: no formula picture"
        grep -rq "<img src=\"$picture\"" "out-$document"/page_*.htm ||
            fail "$document: no page shows the formula"
        grep -rqE "<img src=\"$picture\"[^>]* alt=\"[^\"]*[a-z][^\"]*\"" "out-$document"/page_*.htm ||
            fail "$document: the formula's text is not its alt"
    done
    ;;
html_by_libreoffice)
    # LibreOffice's own web page: UTF-8, pictures named course_html_<hash>.png beside it
    mkdir author
    office_made html author course.fodt
    run --output out author/course.html
    expect_rc 0
    expect_contains stdout "$out" "          1.1.1.1.1.1. Итоги"
    grep -q 'charset=windows-1251' out/i.~ht || fail "i.~ht does not declare windows-1251"
    picture=$(cd author && ls course_html_*.png | head -1)
    cmp -s "author/$picture" "out/$picture" || fail "picture $picture not copied"
    grep -q "src=\"$picture\"" out/page_1_1_1_1_.htm || fail "page does not refer to $picture"
    ;;
web_page_named_doc)
    # Word's web page kept under a .doc name, in UTF-8 with a byte-order mark
    mkdir course.files
    { printf '\xEF\xBB\xBF'; iconv -f windows-1251 -t utf-8 "$examples/course.htm" |
        sed 's/charset=windows-1251/charset=utf-8/'; } >course.doc
    printf 'PNG' >course.files/image001.png
    run --output out course.doc
    expect_rc 0
    expect_contains stdout "$out" "1. Введение"
    expect_eq picture "$(cat out/course.files/image001.png)" "PNG"
    ;;
document_not_a_document)
    cp "$fixtures/data/encrypted.doc" secret.doc
    run secret.doc
    expect_rc 1
    expect_eq stderr "$err" 'Документ защищён паролем: "secret.doc". Откройте его в текстовом редакторе, сохраните копию без пароля и откройте её'
    rm secret.doc stderr.txt stdout.txt
    echo "plain text" >notes.doc
    run notes.doc
    expect_rc 1
    expect_eq stderr "$err" 'Файл "notes.doc" повреждён: внутри нет документа, которого ждёшь по его имени. Откройте его в текстовом редакторе и сохраните заново или попросите прислать файл ещё раз'
    expect_eq "folder" "$(ls)" "notes.doc
stderr.txt
stdout.txt"
    ;;
document_timeout)
    stand_in hang
    word97_signature >course.doc
    run --timeout 1 --output out course.doc
    expect_rc 1
    expect_eq stderr "$err" "Преобразование прервано: прошло больше 1 с"
    expect_eq "processes left" "$(live_started)" 0
    expect_no_file out/i.~ht
    ;;
document_converter_error)
    stand_in error
    word97_signature >course.doc
    run --output out course.doc
    expect_rc 1
    expect_eq stderr "$err" 'Не удалось преобразовать документ "course.doc": LibreOffice не смог его прочитать: файл повреждён или в формате, которого LibreOffice не знает. Откройте его в текстовом редакторе и сохраните заново как .docx или .odt'
    expect_no_file out/i.~ht
    # recognised by content whatever the name says
    cp course.doc course.bin
    run --output out course.bin
    expect_rc 1
    expect_eq stderr "$err" 'Не удалось преобразовать документ "course.bin": LibreOffice не смог его прочитать: файл повреждён или в формате, которого LibreOffice не знает. Откройте его в текстовом редакторе и сохраните заново как .docx или .odt'
    # without --output, the empty work folder made for it does not stay behind
    mkdir beside && cp course.doc beside/
    run beside/course.doc
    expect_rc 1
    expect_eq "beside the document" "$(ls -A beside)" "course.doc"
    ;;
document_batch)
    stand_in ok
    word97_signature >a.doc
    word97_signature >b.doc
    echo "plain text" >c.doc
    run --quiet --output out a.doc c.doc b.doc
    expect_rc 1
    expect_eq stderr "$err" 'c.doc: Файл "c.doc" повреждён: внутри нет документа, которого ждёшь по его имени. Откройте его в текстовом редакторе и сохраните заново или попросите прислать файл ещё раз'
    [ -s out/a/i.~ht ] && [ -s out/b/i.~ht ] || fail "the good inputs were not all converted"
    ;;
document_interrupted)
    stand_in hang
    word97_signature >course.doc
    mkdir tmp
    export TMPDIR=$scratch/tmp
    for signal in INT TERM HUP; do
        # without HOME the profile goes into our private folder, not /.cache
        rm -f record.pids
        env -u HOME "$program" --quiet --output out course.doc 2>/dev/null &
        # until the stand-in has started both its sleepers (a hang guard of 20 s)
        for _ in $(seq 400); do [ "$(cat record.pids 2>/dev/null | wc -l)" -ge 3 ] && break; sleep 0.05; done
        kill -"$signal" $!
        wait $!
        expect_eq "$signal: exit code" "$?" "$((128 + $(kill -l "$signal")))"
        expect_eq "$signal: processes left" "$(live_started)" 0
        expect_eq "$signal: temporary files left" "$(ls -A tmp)" ""
        expect_no_file out
        grep -q "^-env:UserInstallation=file://$scratch/tmp/" record ||
            fail "$signal: profile outside the private folder: $(grep UserInstallation record)"
    done
    # two LibreOffices at once end too
    word97_signature >second.doc
    rm -f record.pids
    env -u HOME "$program" --quiet -j 2 --output out course.doc second.doc 2>/dev/null &
    # until both stand-ins have started their sleepers (a hang guard of 20 s)
    for _ in $(seq 400); do [ "$(cat record.pids 2>/dev/null | wc -l)" -ge 6 ] && break; sleep 0.05; done
    kill -INT $!
    wait $!
    expect_eq "-j 2: exit code" "$?" 130
    expect_eq "-j 2: stand-ins and their children" "$(wc -l <record.pids)" 6
    expect_eq "-j 2: processes left" "$(live_started)" 0
    expect_eq "-j 2: temporary files left" "$(ls -A tmp)" ""
    ;;
course_interrupted)
    stand_in hang
    word97_signature >part.doc
    printf '{"format": "kelmo-course", "version": 1, "materials": [{"document": "part.doc"}]}' \
        >c.kelmo-course
    mkdir tmp
    env -u HOME TMPDIR="$scratch/tmp" "$program" --quiet --output out c.kelmo-course 2>/dev/null &
    sleep 1.5
    kill -INT $!
    started=$(date +%s%N)
    wait $!
    expect_eq "exit code" "$?" 130
    waited=$((($(date +%s%N) - started) / 1000000))
    [ "$waited" -le 5000 ] || fail "stopped $waited ms after Ctrl-C"
    expect_eq "processes left" "$(live_started)" 0
    expect_eq "temporary files left" "$(ls -A tmp)" ""
    ;;
document_killed)
    mkdir author
    office_made doc author course.fodt
    # a first run sets the profile up, so that the second one's LibreOffice stays up
    run --quiet --output out author/course.doc
    expect_rc 0
    # what a killed run cannot remove stays in the scratch folder, not in /tmp
    mkdir tmp
    TMPDIR=$scratch/tmp "$program" --quiet --output out author/course.doc 2>/dev/null &
    ours="--accept=pipe,name=kelmo-$!-"
    for _ in $(seq 200); do pgrep -f -- "$ours" >/dev/null && break; sleep 0.05; done
    pgrep -f -- "$ours" >/dev/null || fail "its LibreOffice did not start"
    killed=$!
    kill -KILL $killed
    wait $killed 2>/dev/null
    for _ in $(seq 400); do pgrep -f -- "$ours" >/dev/null || break; sleep 0.05; done
    expect_eq "LibreOffice left" "$(pgrep -fc -- "$ours")" 0
    # the next run removes the killed one's folders (with the copy of the document) and sockets
    [ -n "$(ls -A tmp)" ] || fail "the killed run left no private folder"
    export TMPDIR=$scratch/tmp
    run --quiet --output out author/course.doc
    expect_rc 0
    expect_eq "private folders left" "$(ls -A tmp)" ""
    expect_eq "sockets left" "$(ls -d /tmp/OSL_PIPE_"$(id -u)"_kelmo-$killed-* 2>/dev/null)" ""
    ;;
document_too_big_for_memory)
    # a .docx whose text is a run of 300 million zeros, 300 KB zipped
    mkdir -p bomb/word bomb/_rels
    printf '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>' \
        >'bomb/[Content_Types].xml'
    printf '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="r1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>' \
        >bomb/_rels/.rels
    mkfifo bomb/word/document.xml
    {
        printf '<?xml version="1.0"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body><w:p><w:r><w:t>'
        head -c 300M /dev/zero | tr '\0' 0
        printf '</w:t></w:r></w:p></w:body></w:document>'
    } >bomb/word/document.xml &
    (cd bomb && zip -q -r -FI ../bomb.docx .)
    mkdir author
    office_made doc author course.fodt
    mkdir tmp
    export TMPDIR=$scratch/tmp
    run --quiet --office-memory 1536 --output out bomb.docx author/course.doc
    expect_rc 1
    expect_contains stderr "$err" "bomb.docx: Документ \"bomb.docx\" слишком велик для преобразования: LibreOffice не хватает памяти (предел 1536 МБ)"
    expect_file out/course/page_1_.htm
    expect_eq "private folders left" "$(ls -A tmp)" ""
    ;;
*)
    fail "unknown case"
    ;;
esac
exit $((failures > 0))
