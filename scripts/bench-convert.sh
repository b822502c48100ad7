#!/usr/bin/env bash
# Compares kelmo-convert on a large document with LibreOffice's own HTML export of it.
#   scripts/bench-convert.sh [KELMO_CONVERT] [RUNS]
# Generates a ~300-page course (400 headings, 50 pictures) as .fodt, makes it a .docx with
# LibreOffice, then prints the median wall time of each command over RUNS runs (kelmo-convert
# also with --check).
set -euo pipefail
program=${1:-build/bin/kelmo-convert}
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache

# bmp R G B: a 64 x 64 picture of one colour with a diagonal stripe, base64.
bmp() {
    local r=$1 g=$2 b=$3 x y
    {
        printf 'BM\x36\x30\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00'
        printf '\x28\x00\x00\x00\x40\x00\x00\x00\x40\x00\x00\x00\x01\x00\x18\x00'
        printf '\x00\x00\x00\x00\x00\x30\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00'
        printf '\x00\x00\x00\x00\x00\x00\x00\x00'
        local pixel stripe
        pixel=$(printf '\\x%02x\\x%02x\\x%02x' "$b" "$g" "$r")
        stripe='\x00\x00\x00'
        for ((y = 0; y < 64; y++)); do
            for ((x = 0; x < 64; x++)); do
                if ((x == y)); then printf "$stripe"; else printf "$pixel"; fi
            done
        done
    } | base64 -w0
}

text='Информация — это сведения об окружающем мире, которые человек получает с помощью органов чувств или приборов. Компьютер хранит любую информацию в виде последовательностей нулей и единиц, а программа задаёт порядок действий над ними. В этом разделе разобраны понятия, примеры и упражнения, которые помогут закрепить материал и подготовиться к контрольным вопросам.'

generate() {
    local h level picture=0
    cat <<'HEAD'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:dc="http://purl.org/dc/elements/1.1/" office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:meta><dc:title>Большой курс</dc:title></office:meta>
<office:styles>
<style:style style:name="Heading_20_1" style:display-name="Heading 1" style:family="paragraph" style:default-outline-level="1" style:class="text"/>
<style:style style:name="Heading_20_2" style:display-name="Heading 2" style:family="paragraph" style:default-outline-level="2" style:class="text"/>
<style:style style:name="Heading_20_3" style:display-name="Heading 3" style:family="paragraph" style:default-outline-level="3" style:class="text"/>
</office:styles>
<office:body><office:text>
HEAD
    for ((h = 1; h <= 400; h++)); do
        if ((h % 40 == 1)); then level=1; elif ((h % 8 == 1)); then level=2; else level=3; fi
        printf '<text:h text:style-name="Heading_20_%d" text:outline-level="%d">Раздел %d. Тема α%d</text:h>\n' \
            "$level" "$level" "$h" "$h"
        for p in 1 2 3 4 5 6 7; do printf '<text:p>%s (%d.%d)</text:p>\n' "$text" "$h" "$p"; done
        if ((h % 8 == 0 && picture < 50)); then
            picture=$((picture + 1))
            printf '<text:p><draw:frame draw:name="p%d" text:anchor-type="as-char" svg:width="3cm" svg:height="3cm"><draw:image><office:binary-data>%s</office:binary-data></draw:image></draw:frame></text:p>\n' \
                "$picture" "$(bmp $((picture * 5)) $((255 - picture * 4)) 128)"
        fi
    done
    printf '</office:text></office:body></office:document>\n'
}

generate >"$work/big.fodt"
soffice -env:UserInstallation="file://$work/profile" --headless --norestore \
    --convert-to docx --outdir "$work" "$work/big.fodt" >/dev/null 2>&1
echo "big.docx: $(stat -c %s "$work/big.docx") bytes"

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
seconds() { /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -1; }

# Each command once before timing, so that both start with a prepared profile.
"$program" --quiet --output "$work/out" "$work/big.docx"
soffice -env:UserInstallation="file://$work/profile" --headless --norestore \
    --convert-to html --outdir "$work/lo" "$work/big.docx" >/dev/null 2>&1
echo "pages: $(ls "$work/out"/page_*.htm | wc -l), pictures: $(ls "$work/out"/i_html_* | wc -l)"

kelmo=()
checked=()
libreoffice=()
for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out" "$work/lo"
    kelmo+=("$(seconds "$program" --quiet --output "$work/out" "$work/big.docx")")
    rm -rf "$work/out"
    checked+=("$(seconds "$program" --quiet --check --output "$work/out" "$work/big.docx")")
    libreoffice+=("$(seconds soffice -env:UserInstallation="file://$work/profile" --headless \
        --norestore --convert-to html --outdir "$work/lo" "$work/big.docx")")
done
echo "kelmo-convert: ${kelmo[*]} s, median $(printf '%s\n' "${kelmo[@]}" | median)"
echo "with --check:  ${checked[*]} s, median $(printf '%s\n' "${checked[@]}" | median)"
echo "soffice:       ${libreoffice[*]} s, median $(printf '%s\n' "${libreoffice[@]}" | median)"
