#!/usr/bin/env bash
# A course of three materials (.doc, .docx, HTML with a picture) packaged by kelmo-convert
# in every format and read back:
#   check-package.sh PROGRAM PROJECT_SOURCE_DIR
set -uo pipefail

program=$1
source_dir=$2
case_name=package_course
source "$(cd "$(dirname "$0")" && pwd)/common.sh"
export XDG_CACHE_HOME=$scratch/cache
schemas=$source_dir/package/tests/data/scorm12

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
    cmp -s $format/material_1/page_1_.htm work/material_1/page_1_.htm ||
        fail "$format: a page's bytes changed"
done
expect_eq "scorm assets" "$(grep -c 'adlcp:scormtype="asset"' scorm12/imsmanifest.xml)" \
    "$(grep -c '<resource ' scorm12/imsmanifest.xml)"

# zip and folder: the work folders' pages, pictures and outlines
run --output work --package pages.zip course.kelmo-course
expect_rc 0
expect_contains stdout "$out" "Часть 1
  1. Введение
    1.1. Цели курса"
expect_contains stdout "$out" "Пакет: pages.zip"
expect_eq "zip" "$(unzip -Z1 pages.zip | sort)" \
    "$(cd work && find . -type f ! -name '*.~ht' | sed 's,^\./,,' | sort)"
run --quiet --output work --package pages --package-format folder course.kelmo-course
expect_rc 0
diff -r -x '*.~ht' work pages >/dev/null || fail "folder package differs from the work folders"

# a package of one document; the folder package is not written into a folder in use
run --output one --package one.zip docs/course.htm
expect_rc 0
expect_contains stdout "$out" "Пакет: one.zip"
expect_contains "one document" "$(unzip -Z1 one.zip)" "course.files/image002.gif"
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
