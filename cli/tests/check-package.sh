#!/usr/bin/env bash
# A course of three materials (.doc, .docx, HTML with a picture) packaged by kelmo-convert
# in every format and read back; the SCORM pages run under scorm-again's SCORM 1.2 run-time
# in headless Chromium, the EPUBs go through epubcheck:
#   check-package.sh PROGRAM PROJECT_SOURCE_DIR
set -uo pipefail

program=$1
source_dir=$2
case_name=package_course
source "$(cd "$(dirname "$0")" && pwd)/common.sh"
export XDG_CACHE_HOME=$scratch/cache
schemas=$source_dir/package/tests/data/scorm12
build_dir=$(cd "$(dirname "$program")/.." && pwd)

# A run-time written by others for the SCORM test, in the build folder at a fixed version.
scorm_again=$build_dir/npm/node_modules/scorm-again/dist/scorm12.js
[ -f "$scorm_again" ] ||
    npm install --silent --no-save --no-package-lock --prefix "$build_dir/npm" \
        scorm-again@3.4.3 >/dev/null 2>&1 || fail "npm could not install scorm-again"

browse() {
    timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$(mktemp -d -p "$scratch")" --allow-file-access-from-files \
        --enable-logging=stderr --v=0 --virtual-time-budget=60000 --dump-dom "$@" 2>browser.txt
}

# scorm_runtime DIR: every SCO of the unzipped package in DIR, one after another in a frame
# under a fresh run-time, initialises, reports "completed" and finishes when left; a page
# opened alone loads without a message in the console.
scorm_runtime() {
    local scos
    scos=$(manifest "$1/imsmanifest.xml" \
        '//*[local-name()="resource"][@*[local-name()="scormtype"]="sco"]/@href' |
        sed 's/.*href="\(.*\)"/"\1",/' | tr -d '\n')
    cp "$scorm_again" "$1/scorm12.js"
    cat >"$1/harness.htm" <<HTML
<html><head><script src="scorm12.js"></script></head><body><pre id="log"></pre>
<iframe id="sco"></iframe><script>
var scos = [$scos], log = document.getElementById("log"), frame = document.getElementById("sco");
function next(i) {
  if (i >= scos.length) { log.textContent += "done\n"; return; }
  var api = window.API = new Scorm12API({logLevel: 5}), seen = {init: false, status: "", finish: false};
  api.on("LMSInitialize", function () { seen.init = true; });
  api.on("LMSSetValue.cmi.core.lesson_status", function (element, value) { seen.status = value; });
  api.on("LMSFinish", function () { seen.finish = true; });
  frame.onload = function () {
    setTimeout(function () {
      frame.onload = function () {
        log.textContent += scos[i] + " " + seen.init + " " + seen.status + " " + seen.finish + "\n";
        next(i + 1);
      };
      frame.src = "about:blank";
    }, 100);
  };
  frame.src = scos[i];
}
next(0);
</script></body></html>
HTML
    local expected
    expected=$(echo "$scos" | tr ',' '\n' | tr -d '"' | sed '/^$/d; s/$/ true completed true/'; echo done)
    expect_eq "$1: SCOs under the run-time" \
        "$(browse "file://$PWD/$1/harness.htm" | sed -n '/<pre id="log">/,/<\/pre>/p' |
            sed 's/.*<pre id="log">//; s/<\/pre>.*//')" "$expected"
    local first=${scos%%\",*}
    browse "file://$PWD/$1/${first#\"}" >alone.htm
    expect_contains "$1: a page opened alone" "$(cat alone.htm)" 'class="kelmo-nav"'
    expect_eq "$1: console of a page opened alone" "$(grep -c ':CONSOLE' browser.txt)" 0
    rm "$1/harness.htm" "$1/scorm12.js"
}

# nav_links DIR: every link of the navigation bars and of the contents page leads to a file
# of the package.
nav_links() {
    local page href missing=""
    while read -r page; do
        while read -r href; do
            [ -f "$1/$(dirname "$page")/$href" ] || missing+=" $page:$href"
        done < <({ LC_ALL=C grep -ao '<div class="kelmo-nav.*</div>' "$1/$page"; [ "$page" = index.htm ] && cat "$1/$page"; } |
            grep -ao 'href="[^"]*"' | sed 's/href="\(.*\)"/\1/')
    done < <(cd "$1" && find . -name '*.htm' | sed 's,^\./,,')
    expect_eq "$1: navigation links to missing files" "$missing" ""
    [ -f "$1/index.htm" ] || fail "$1: no contents page"
}

# keeps_page PACKAGED WORK: the packaged page is the work folder's page byte for byte once
# the navigation put in is taken out again.
keeps_page() {
    perl -0777 -pe 's{\n<meta http-equiv="Content-Security-Policy" content="[^"]*">}{};
        s{<style>\n\.kelmo-nav\{.*?</style>\n}{}s;
        s{\n<div class="kelmo-nav"><div>.*?</div>.*?</div>\n}{};
        s{<div class="kelmo-nav kelmo-bottom">.*?</div>\n(<script src="[./]*kelmo-scorm.js"></script>\n)?}{}' \
        "$1" | cmp -s - "$2" || fail "$1: the page's own bytes changed"
    grep -aq 'class="kelmo-nav"' "$1" || fail "$1: no navigation bar"
}

# epub_check FILE: epubcheck finds nothing to say.
epub_check() {
    java -jar /usr/share/java/epubcheck.jar "$1" >epubcheck.txt 2>&1
    expect_contains "$1: epubcheck" "$(cat epubcheck.txt)" \
        "Messages: 0 fatals / 0 errors / 0 warnings / 0 infos"
}

mkdir -p docs/course.files
cp "$source_dir/examples/course.doc" "$source_dir/examples/course.htm" docs/
cp "$source_dir/resources/kelmo-preview-48.png" docs/course.files/image002.gif
soffice -env:UserInstallation="file://$scratch/profile" --headless --norestore \
    --convert-to docx --outdir docs "$source_dir/convert/tests/data/course.fodt" >/dev/null 2>&1
mv docs/course.docx docs/second.docx || fail "LibreOffice made no .docx"
cat >course.kelmo-course <<'JSON'
{ "format": "kelmo-course", "version": 1, "fullName": "Информатика", "shortName": "ИНФ",
  "materials": [
    { "document": "docs/course.doc", "title": "Часть 1" },
    { "document": "docs/second.docx", "title": "Часть 2", "autoNumbering": false,
      "sections": [ { "page": "page_2_.htm", "leftOut": true } ] },
    { "document": "docs/course.htm", "title": "Часть 3",
      "sections": [ { "page": "page_1_.htm", "title": "Вступление" } ] } ] }
JSON

# manifest FILE XPATH: what the expression gives in the manifest, one value a line
manifest() { xmllint --xpath "$2" "$1" 2>/dev/null; }
items='//*[local-name()="item"]'

# The items, one a line: depth, a blank, title; as the outlines say, with the sections'
# parameters applied.
items_of() {
    local count i
    count=$(manifest "$1" "count($items)")
    for ((i = 1; i <= count; i++)); do
        printf '%s %s\n' "$(manifest "$1" "count(($items)[$i]/ancestor::*[local-name()=\"item\"])")" \
            "$(manifest "$1" "string(($items)[$i]/*[local-name()=\"title\"])")"
    done
}
expected_items() {
    local m title
    for m in 1 2 3; do
        title=$(manifest "$1" "string(($items)[not(ancestor::*[local-name()=\"item\"])][$m]/*[local-name()=\"title\"])")
        echo "0 Часть $m"
        paste <(iconv -f cp1251 -t utf-8 work/material_$m/Titles.txt | tr -d '\r') \
            <(tr -d '\r\t' <work/material_$m/Names.txt) |
            awk -F'\t' -v m=$m '{
                depth = 1; while ($depth == "") depth++
                if (m == 2 && $(depth + 1) == "page_2_.htm") next
                title = $depth; if (m == 3 && $(depth + 1) == "page_1_.htm") title = "Вступление"
                print depth, title }'
    done
}

for format in scorm12 imscp; do
    run --quiet --output work --package $format.zip --package-format $format course.kelmo-course
    expect_rc 0
    rm -rf $format && mkdir $format && (cd $format && unzip -q ../$format.zip) ||
        fail "$format.zip does not unzip"
    xmllint --noout --schema "$schemas/scorm12-all.xsd" $format/imsmanifest.xml 2>/dev/null ||
        fail "$format manifest does not validate"
    listed=$(manifest $format/imsmanifest.xml '//*[local-name()="file"]/@href' |
        sed 's/.*href="\(.*\)"/\1/' | sort)
    stored=$(unzip -Z1 $format.zip | grep -vx imsmanifest.xml | sort)
    expect_eq "$format: files listed against files stored" "$listed" "$stored"
    expect_contains "$format: picture of the HTML input" "$stored" "material_3/course.files/image002.gif"
    expect_eq "$format: items" "$(items_of $format/imsmanifest.xml)" \
        "$(expected_items $format/imsmanifest.xml)"
    keeps_page $format/material_1/page_1_.htm work/material_1/page_1_.htm
done
expect_eq "scorm SCOs" "$(grep -c 'adlcp:scormtype="sco"' scorm12/imsmanifest.xml)" \
    "$(grep -c '<file href="material_./page_' scorm12/imsmanifest.xml)"
expect_contains "metadata" "$(cat scorm12/imsmanifest.xml)" "<imsmd:identifier>ИНФ</imsmd:identifier>"
nav_links scorm12
scorm_runtime scorm12

# zip and folder: the work folders' pages, pictures and outlines
run --output work --package pages.zip course.kelmo-course
expect_rc 0
expect_contains stdout "$out" "Часть 1
  1. Введение
    1.1. Цели курса"
expect_contains stdout "$out" "Пакет: pages.zip"
expect_eq "zip" "$(unzip -Z1 pages.zip | sort)" \
    "$(cd work && { find . -type f ! -name '*.~ht'; echo index.htm; } | sed 's,^\./,,' | sort)"
run --quiet --output work --package pages --package-format folder course.kelmo-course
expect_rc 0
diff -r -x '*.~ht' -x '*.htm' work pages >/dev/null || fail "folder package differs from the work folders"
for page in work/material_*/*.htm; do keeps_page "pages/${page#work/}" "$page"; done
nav_links pages

# EPUB and Moodle Book of the course
run --quiet --output work --package course.epub course.kelmo-course
expect_rc 0
epub_check course.epub
run --quiet --output work --package book.zip --package-format moodlebook course.kelmo-course
expect_rc 0
mkdir book && (cd book && unzip -q ../book.zip)
xmllint --noout --schema "$schemas/scorm12-all.xsd" book/imsmanifest.xml 2>/dev/null ||
    fail "moodlebook manifest does not validate"
expect_eq "moodlebook depth" "$(manifest book/imsmanifest.xml \
    'count(//*[local-name()="item"]/*[local-name()="item"]/*[local-name()="item"])')" 0
nav_links book

# a package of one document; the folder package is not written into a folder in use
run --output one --package one.zip docs/course.htm
expect_rc 0
expect_contains stdout "$out" "Пакет: one.zip"
expect_contains "one document" "$(unzip -Z1 one.zip)" "course.files/image002.gif"

# the bundled sample as SCORM and EPUB
run --quiet --output sample --package sample.zip --package-format scorm12 docs/course.doc
expect_rc 0
mkdir sample-scorm && (cd sample-scorm && unzip -q ../sample.zip)
xmllint --noout --schema "$schemas/scorm12-all.xsd" sample-scorm/imsmanifest.xml 2>/dev/null ||
    fail "sample manifest does not validate"
nav_links sample-scorm
scorm_runtime sample-scorm
run --quiet --output sample --package sample.epub docs/course.doc
expect_rc 0
epub_check sample.epub

# HTML that EPUB does not allow as it stands still makes a valid book
run --quiet --output messy --package messy.epub "$source_dir/package/tests/data/epub-structure.htm"
expect_rc 0
epub_check messy.epub

# a document's own script does not run in a packaged page, ours does
printf '<html><body><h1>A</h1><script>document.title = "ran"</script></body></html>' >docs/script.htm
run --quiet --output script --package script.zip --package-format scorm12 docs/script.htm
expect_rc 0
mkdir script-scorm && (cd script-scorm && unzip -q ../script.zip)
browse "file://$PWD/script-scorm/page_1_.htm" >alone.htm
expect_contains "a document's script" "$(cat alone.htm)" "<title>A</title>"
run --quiet --output one --package pages docs/course.htm
expect_rc 1
expect_eq stderr "$err" 'Не удалось записать пакет "pages": папка уже существует и не пуста'
run --package x --package-format scorm docs/course.htm
expect_rc 2
expect_eq "leftovers" "$(ls -d *.part-* 2>/dev/null)" ""

# a material that does not convert: no work folder stays beside the course
mkdir broken
{ printf '\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1'; head -c 500 /dev/zero; } >broken/bad.doc
printf '{"format":"kelmo-course","materials":[{"document":"bad.doc"}]}' >broken/c.kelmo-course
run broken/c.kelmo-course
expect_rc 1
expect_contains stderr "$err" 'Не удалось преобразовать документ'
expect_eq "beside the course" "$(ls broken)" "bad.doc
c.kelmo-course"

# a material outside the course's folder (by "..", or through a link) is named; no package
# takes it without --allow-outside
mkdir -p outside/course
printf '<body><h1>A</h1>' >outside/a.htm
ln -s ../a.htm outside/course/linked.htm
for document in ../a.htm linked.htm; do
    printf '{"format":"kelmo-course","materials":[{"document":"%s"}]}' "$document" \
        >outside/course/c.kelmo-course
    run --quiet --output outside/work --package outside/p.zip outside/course/c.kelmo-course
    expect_rc 1
    expect_contains "$document: stderr" "$err" "лежит вне папки курса: пакет не записан (--allow-outside разрешает)"
    expect_no_file outside/p.zip
    run --quiet --output outside/work --package outside/p.zip --allow-outside outside/course/c.kelmo-course
    expect_rc 0
    expect_contains "$document: stderr" "$err" "лежит вне папки курса"
    rm -rf outside/work outside/p.zip
done
exit $((failures > 0))
