#!/usr/bin/env bash
# Runs one case of kelmo-convert and checks its exit code, output and files:
#   check.sh PROGRAM MAKE_COURSE CASE
set -uo pipefail

program=$1
make_course=$2
case_name=$3
source "$(cd "$(dirname "$0")" && pwd)/common.sh"

expect_bytes() { # FILE PRINTF-FORMAT
    printf "$2" >expected.bin
    cmp -s "$1" expected.bin || fail "$1 holds [$(od -c "$1" | head -5)]"
}
page_count() { find "$1" -name 'page_*.htm' | wc -l; }
# the generated course in windows-1251: "Раздел"
section=$(printf '\xD0\xE0\xE7\xE4\xE5\xEB' | iconv -f cp1251 -t utf-8)
header_bytes=317

case "$case_name" in
# --- Usage --------------------------------------------------------------------------------
version)
    run --version
    expect_rc 0
    expect_eq stdout "$out" "kelmo-convert 1.0.0"
    run --help
    expect_rc 0
    expect_contains stdout "$out" "--package-format <F>"
    ;;
options_documented)
    # every long option of --help is in the manual page and offered by the shell completion
    packaging=$(dirname "$0")/../../packaging
    sed 's/\\-/-/g' "$packaging/kelmo-convert.1" >manual.txt
    run --help
    for option in $(grep -oE -- '--[a-z][a-z-]*' stdout.txt | sort -u); do
        grep -q -- "$option" manual.txt ||
            fail "$option is not in the manual page"
        grep -qE -- "[ ']$option( |'|$)" "$packaging/kelmo-convert.bash-completion" ||
            fail "$option is not completed"
    done
    ;;
bad_option)
    run --bogus in.htm
    expect_rc 2
    expect_one_line
    [[ "$err" == *"bogus"* ]] || fail "stderr does not name the option: $err"
    ;;
no_input)
    run --quiet
    expect_rc 2
    expect_one_line
    ;;
bad_timeout)
    printf '<body>' >in.htm
    for value in soon 0 -5 1.5; do
        run --timeout "$value" in.htm
        expect_rc 2
        expect_eq stderr "$err" "Неверное значение --timeout: $value"
    done
    for value in all 0 -2; do
        run -j "$value" in.htm
        expect_rc 2
        expect_eq stderr "$err" "Неверное значение --jobs: $value"
    done
    ;;

usage_combinations)
    # options that need another, and inputs that would share an output folder: nothing written
    printf '<body><h1>A</h1>' >a.htm
    mkdir b && printf '<body><h1>B</h1>' >b/a.htm
    while IFS='|' read -r args message; do
        eval "set -- $args"
        run "$@" </dev/null
        expect_rc 2
        expect_eq "$args" "$err" "$message"
    done <<'ROWS'
--package p a.htm b/a.htm|Пакет пишется из одного документа или курса: укажите один входной файл с --package
--package '' a.htm|Пустое имя пакета в --package
--package-format zip a.htm|--package-format задаётся только вместе с --package
--package p --package-format tar a.htm|Неверное значение --package-format: tar
--output '' a.htm|Пустое имя папки в --output
--output out a.htm b/a.htm|"a.htm" и "b/a.htm" пишутся в одну папку "out/a": переименуйте один
--output out a.htm a.htm|"a.htm" и "a.htm" пишутся в одну папку "out/a": переименуйте один
ROWS
    expect_eq "written" "$(ls | tr '\n' ' ')" "a.htm b stderr.txt stdout.txt "
    ;;

# --- Input that cannot be used ------------------------------------------------------------
missing_input)
    run --output out nothere.htm
    expect_rc 1
    expect_eq stderr "$err" 'Файл "nothere.htm" не найден'
    expect_no_file out
    ;;
directory_input)
    mkdir folder.htm
    run --output out folder.htm
    expect_rc 1
    expect_eq stderr "$err" '"folder.htm" — это папка, а не документ'
    expect_no_file out
    ;;
read_only_input)
    printf '<body><h1>A</h1>' >in.htm
    chmod 444 in.htm
    for attempt in first second; do
        run --quiet --output out in.htm
        expect_rc 0
    done
    # the export is the program's own file, writable whatever the input's bits were
    [ $((0$(stat -c %a out/i.~ht) & 0200)) -ne 0 ] || fail "i.~ht mode $(stat -c %a out/i.~ht)"
    expect_bytes out/i.~ht '<body><h1>A</h1>'
    ;;
unsupported_input)
    printf 'x' >notes.txt
    run notes.txt
    expect_rc 1
    expect_eq stderr "$err" 'Неизвестный формат файла "notes.txt": нужен документ Word (.doc, .docx), OpenDocument (.odt), RTF или HTML'
    [ "$(ls)" == "$(printf 'notes.txt\nstderr.txt\nstdout.txt')" ] || fail "a folder was made: $(ls)"
    ;;
input_in_output_folder)
    mkdir out
    # every name the road writes; the outline names hold a Word document, known by content
    for name in i.~ht clear.~ht page_1_.htm page_2_1_-2.htm Titles.txt Names.txt; do
        case $name in
            *.txt) printf '\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1' >"out/$name" ;;
            *) printf '<body><h1>A</h1>' >"out/$name" ;;
        esac
        cp "out/$name" before.bin
        run --output out "out/$name"
        expect_rc 2
        expect_eq stderr "$err" "Входной файл лежит в папке результата и был бы перезаписан: out/$name"
        cmp -s before.bin "out/$name" || fail "out/$name was changed"
    done
    # the same file reached through a link from elsewhere
    ln -s out/page_1_.htm link.htm
    run --output out link.htm
    expect_rc 2
    expect_bytes out/page_1_.htm '<body><h1>A</h1>'
    ;;

unreadable_input)
    if [ "$(id -u)" -eq 0 ]; then
        # Permission bits do not stop root: a link to a file whose every read fails.
        ln -s /proc/self/mem locked.htm
    else
        printf '<body><h1>A</h1>' >locked.htm
        chmod 000 locked.htm
    fi
    # a failed run keeps the output folder the user made, empty or not
    mkdir out
    run --output out locked.htm
    expect_rc 1
    expect_one_line
    expect_contains stderr "$err" '"locked.htm"'
    expect_no_file out/clear.~ht
    [ -d out ] || fail "the user's output folder was removed"
    ;;

# --- Degenerate documents -----------------------------------------------------------------
empty_file)
    : >empty.htm
    run --output out empty.htm
    expect_rc 0
    expect_bytes out/i.~ht ''
    [ "$(stat -c %s out/clear.~ht)" -eq $((header_bytes + 2)) ] || fail "clear.~ht size"
    expect_bytes out/Titles.txt ''
    expect_bytes out/Names.txt ''
    expect_eq pages "$(page_count out)" 0
    [[ "$out" == *"Страниц: 0"* ]] || fail "stdout: $out"
    expect_eq stderr "$err" "В документе нет ни заголовков, ни <body>: страницы не созданы"
    ;;
zero_byte)
    printf '<body><h1>A</h1>\0<h1>B</h1>' >zero.htm
    run --quiet --output out zero.htm
    expect_rc 0
    cmp -s zero.htm out/i.~ht || fail "i.~ht differs from the input"
    expect_bytes out/Titles.txt '1. A\r\n'
    expect_eq pages "$(page_count out)" 1
    ;;
no_body)
    printf '<html><h1>A</h1><h2>B</h2></html>' >nobody.htm
    run --quiet --output out nobody.htm
    expect_rc 0
    expect_bytes out/Names.txt 'page_1_.htm\r\n\tpage_1_1_.htm\r\n'
    ;;
no_headings)
    printf '<html><head><title>T</title></head><body lang=RU><p>x</p></body></html>' >plain.htm
    run --output out plain.htm
    expect_rc 0
    expect_bytes out/Titles.txt '\r\n'
    expect_bytes out/Names.txt 'page_0.htm\r\n'
    expect_eq pages "$(page_count out)" 1
    [[ "$out" == "(без заголовка)"* ]] || fail "stdout: $out"
    ;;
only_h3)
    printf '<body><h3>Deep</h3>' >h3.htm
    run --output out h3.htm
    expect_rc 0
    expect_bytes out/Titles.txt '\t\t1. Deep\r\n'
    expect_eq stdout "$(head -1 stdout.txt)" "    1. Deep"
    ;;

# --- The heading limit --------------------------------------------------------------------
headings_500)
    "$make_course" 500 0 crlf course.htm
    run --quiet --output out course.htm
    expect_rc 0
    expect_eq pages "$(page_count out)" 500
    [ "$(grep -c . out/Names.txt)" -eq 500 ] || fail "Names.txt lines"
    ;;
headings_501)
    "$make_course" 501 0 crlf course.htm
    run --output out course.htm
    expect_rc 3
    expect_eq stderr "$err" "Количество заголовков не должно превышать500."
    expect_eq stdout "$out" ""
    expect_file out/i.~ht
    expect_file out/clear.~ht
    expect_no_file out/Titles.txt
    expect_no_file out/Names.txt
    expect_eq pages "$(page_count out)" 0
    ;;

# --- Line ends --------------------------------------------------------------------------------
line_ends)
    "$make_course" 7 3000 crlf crlf.htm
    "$make_course" 7 3000 lf lf.htm
    "$make_course" 7 3000 cr cr.htm
    for kind in crlf lf cr; do
        run --quiet --output "$kind" "$kind.htm"
        expect_rc 0
        cmp -s "$kind.htm" "$kind/i.~ht" || fail "$kind: i.~ht differs from the input"
    done
    for kind in lf cr; do
        cmp -s crlf/clear.~ht "$kind/clear.~ht" || fail "$kind: clear.~ht differs"
        cmp -s crlf/page_1_1_1_.htm "$kind/page_1_1_1_.htm" || fail "$kind: page differs"
    done
    ;;

large_file)
    "$make_course" 450 $((64 * 1024 * 1024)) crlf big.htm
    sum=$(sha256sum <big.htm)
    run --quiet --output out big.htm
    expect_rc 0
    expect_eq stdout "$out" ""
    cmp -s big.htm out/i.~ht || fail "i.~ht differs from the input"
    expect_eq pages "$(page_count out)" 450
    [ "$(grep -c . out/Titles.txt)" -eq 450 ] || fail "Titles.txt lines"
    expect_eq checksum "$(sha256sum <big.htm)" "$sum"
    ;;

# --- Output folder ------------------------------------------------------------------------
output_under_file)
    printf '<body><h1>A</h1>' >in.htm
    printf 'x' >plain
    run --output plain/out in.htm
    expect_rc 1
    expect_one_line
    [[ "$err" == *"plain/out"*"Not a directory"* ]] || fail "stderr: $err"
    ;;
output_unwritable)
    printf '<body><h1>A</h1>' >in.htm
    sum=$(sha256sum <in.htm)
    if [ "$(id -u)" -eq 0 ]; then
        # Root writes through permission bits; sysfs takes no new files from anyone.
        [ -d /sys/kernel ] || { echo "SKIP: no sysfs to stand for an unwritable folder"; exit 0; }
        folder=/sys
    else
        mkdir locked
        chmod 555 locked
        folder=locked
    fi
    run --output "$folder" in.htm
    expect_rc 1
    expect_one_line
    expect_contains stderr "$err" "\"$folder/i.~ht\""
    expect_eq checksum "$(sha256sum <in.htm)" "$sum"
    ;;
output_planted)
    # What may lie in an output folder under the names the road writes: nothing is written
    # through it, and a FIFO ends the run with a message instead of hanging it.
    mkdir course.files elsewhere
    printf '<body><h1>A</h1><img src="course.files/a.png">' >course.htm
    printf 'PNG' >course.files/a.png
    printf 'author' >outside.txt
    for planted in hardlink:page_1_.htm link:clear.~ht fifo:page_1_.htm folderlink:course.files; do
        rm -rf out && mkdir out
        name=${planted#*:}
        case ${planted%%:*} in
            hardlink) ln outside.txt "out/$name"; expected_rc=0; message= ;;
            link) ln -s ../outside.txt "out/$name"; expected_rc=1
                message="Cannot create file \"out/$name\". Too many levels of symbolic links" ;;
            fifo) mkfifo "out/$name"; expected_rc=1
                message="Cannot create file \"out/$name\". Not a regular file" ;;
            folderlink) ln -s ../elsewhere "out/$name"; expected_rc=1
                message="Не удалось скопировать папку \"./course.files\": Cannot create folder \"$PWD/out/course.files\". Too many levels of symbolic links" ;;
        esac
        timeout 20 "$program" --quiet --output out course.htm >stdout.txt 2>stderr.txt
        rc=$?
        err=$(cat stderr.txt)
        expect_rc $expected_rc
        expect_eq "$planted stderr" "$err" "$message"
        expect_bytes outside.txt 'author'
        [ -z "$(ls elsewhere)" ] || fail "$planted: written into elsewhere"
    done
    ;;
output_is_picture_folder)
    mkdir course.files
    printf '<body><h1>A</h1><img src="course.files/a.png">' >course.htm
    printf 'PNG' >course.files/a.png
    run --output course.files course.htm
    expect_rc 1
    expect_eq stderr "$err" "Не удалось скопировать папку \"./course.files\": Cannot copy folder \"./course.files\" into \"$PWD/course.files/course.files\", which lies inside it"
    expect_eq "picture folder" "$(ls course.files)" "a.png"
    run --output course.files/sub/deeper course.htm
    expect_rc 1
    expect_eq "picture folder" "$(ls course.files)" "a.png"
    ;;
output_missing_parents)
    printf '<body><h1>A</h1>' >in.htm
    run --quiet --output a/b/c in.htm
    expect_rc 0
    expect_file a/b/c/page_1_.htm
    ;;
work_folder_beside_input)
    mkdir docs
    printf '<body><h1>A</h1>' >docs/in.htm
    run docs/in.htm
    expect_rc 0
    folders=$(find docs -mindepth 1 -type d)
    [[ "$(basename "$folders")" =~ ^[0-9A-F]{8}-[0-9A-F]{3}$ ]] || fail "work folder: $folders"
    expect_file "$folders/page_1_.htm"
    [[ "$out" == *"Папка: $PWD/$folders"* ]] || fail "stdout does not name the folder: $out"
    ;;

work_folder_unmakeable)
    # a folder whose path leaves no room for a work folder's name (PATH_MAX)
    long=$(printf 'd%.0s' {1..250})
    folder=$long
    for i in $(seq 16); do folder=$folder/$long; done
    folder=${folder:0:4085}
    mkdir -p "$folder" && printf '<body><h1>A</h1>' >"$folder/in.htm"
    run "$folder/in.htm"
    expect_rc 1
    expect_one_line
    expect_contains stderr "$err" "Невозможно создать $folder/"
    expect_eq "beside the input" "$(ls -A "$folder")" "in.htm"
    ;;

# --- Outline on the terminal and the input left alone -------------------------------------
outline_printed)
    "$make_course" 3 0 crlf course.htm
    sum=$(sha256sum <course.htm)
    run --output out course.htm
    expect_rc 0
    expected=$(printf '1. %s 1\n  1.1. %s 2\n    1.1.1. %s 3\nСтраниц: 3\nПапка: %s/out' \
        "$section" "$section" "$section" "$PWD")
    expect_eq stdout "$out" "$expected"
    expect_eq checksum "$(sha256sum <course.htm)" "$sum"
    run --quiet --no-numbers --output out course.htm
    expect_eq "quiet stdout" "$out" ""
    [ "$(head -c 6 out/Titles.txt | iconv -f cp1251 -t utf-8)" == "$section" ] || fail "numbers"
    expect_eq checksum "$(sha256sum <course.htm)" "$sum"
    # Headings with numbers of their own get none of ours unless asked.
    printf '<body><h1>1 A</h1><h2>1.1 B</h2>' >own.htm
    run --output own own.htm
    expect_eq "own numbers" "$(head -1 stdout.txt)" "1 A"
    run --numbers on --output own own.htm
    expect_eq "numbers on" "$(head -1 stdout.txt)" "1. 1 A"
    run --numbers sometimes own.htm
    expect_rc 2
    expect_eq stderr "$err" "Неверное значение --numbers: sometimes"
    ;;
sample_course)
    sample="$(dirname "$0")/../../examples/course.htm"
    sum=$(sha256sum <"$sample")
    run --output out "$sample"
    expect_rc 0
    expected='Основы информатики
1. Введение
  1.1. Цели курса
  1.2. Как работать с материалами
2. Информация и её измерение
  2.1. Понятие информации
  2.2. Единицы измерения
  2.3. Системы счисления
    2.3.1. Двоичная система счисления
    2.3.2. Перевод чисел
3. Устройство компьютера
  3.1. Процессор и память
  3.2. Устройства ввода и вывода
4. Контрольные вопросы
Страниц: 14'
    expect_eq stdout "$(head -15 stdout.txt)" "$expected"
    expect_eq checksum "$(sha256sum <"$sample")" "$sum"
    grep -qE 'mso|MsoNormal|<o:p>|<!\[if|<!--' out/page_*.htm && fail "Word markup left in a page"
    ;;
batch_in_parallel)
    # the largest input goes first, yet output, messages and files are those of one at a time
    "$make_course" 2 0 lf a.htm
    "$make_course" 40 400000 lf b.htm
    "$make_course" 3 0 lf c.htm
    for jobs in 1 3; do
        run -j $jobs --check --output "out$jobs" a.htm missing.htm b.htm c.htm
        expect_rc 1
        sed "s/out$jobs/OUT/" stdout.txt >"stdout$jobs.txt"
        sed "s/out$jobs/OUT/" stderr.txt >"stderr$jobs.txt"
    done
    cmp -s stdout1.txt stdout3.txt || fail "stdout differs: $(diff stdout1.txt stdout3.txt | head -5)"
    cmp -s stderr1.txt stderr3.txt || fail "stderr differs: $(diff stderr1.txt stderr3.txt)"
    diff -r out1 out3 >/dev/null || fail "output folders differ"
    expect_eq "folders" "$(ls out3)" "a
b
c"
    ;;

# --- Several inputs and packages ----------------------------------------------------------
batch_worst_code)
    # codes 0, 4, 3 and 1 in several orders; the worst wins: 1, then 3, then 4
    printf '<body><h1>A</h1><p>t</p>' >ok.htm
    printf '<body><h1>A</h1><p>t</p><h1>A</h1><p>t</p>' >warning.htm
    printf '<body><h1>A</h1><p>t</p><h3>B</h3><p>t</p>' >jump.htm
    "$make_course" 501 0 crlf many.htm
    while read -r expected inputs; do
        run --strict --quiet --output out $inputs </dev/null
        [ "$rc" -eq "$expected" ] || fail "$inputs: exit code $rc, expected $expected"
    done <<'ROWS'
0 ok.htm warning.htm
4 ok.htm jump.htm
4 jump.htm ok.htm
3 jump.htm many.htm ok.htm
3 ok.htm many.htm jump.htm
1 missing.htm jump.htm many.htm ok.htm
1 jump.htm ok.htm many.htm missing.htm
ROWS
    expect_file out/warning/page_2_.htm
    ;;
package_zip_by_name)
    printf '<body><h1>A</h1>' >in.htm
    for name in pages.zip PAGES.ZIP pages.Zip; do
        run --quiet --output out --package "$name" in.htm
        expect_rc 0
        expect_eq "$name" "$(unzip -Z1 "$name" 2>&1 | sort | tr '\n' ' ')" "Names.txt Titles.txt index.htm page_1_.htm "
    done
    run --quiet --output out --package pages in.htm
    expect_file pages/page_1_.htm
    # an EPUB by its ending, "mimetype" first
    run --quiet --output out --package book.EPUB in.htm
    expect_rc 0
    expect_eq "book.EPUB" "$(unzip -Z1 book.EPUB | head -1)" mimetype
    ;;

# --- The author's check -------------------------------------------------------------------
check_clean)
    sample="$(dirname "$0")/../../examples/course.htm"
    run --strict --format json --output out "$sample"
    expect_rc 0
    expect_eq stdout "$(tr -d ' \n' <stdout.txt)" '{"findings":[]}'
    ;;
check_text)
    printf '<body><h1>A</h1><p>t</p><h3>B</h3><p>t</p><img src="x.wmf"></body>' >in.htm
    run --check --quiet --output out in.htm
    expect_rc 0
    expect_eq stdout "$out" "ошибка  1.1. B: заголовок уровня 3 идёт сразу за заголовком уровня 1: дерево разделов будет построено неверно; задайте ему стиль «Заголовок 2».
ошибка  1.1. B: рисунка «x.wmf» нет в папке страниц: вместо него будет пустое место; вставьте рисунок в документ заново, не связью с файлом."
    run --strict --output out in.htm
    expect_rc 4
    expect_eq "outline first" "$(head -1 stdout.txt)" "1. A"
    ;;
check_json)
    printf '<body><h1>A</h1><p><a href="#gone">x</a></p><h1>A</h1><p>t</p></body>' >in.htm
    run --format json --output out in.htm
    expect_rc 0
    expect_eq stdout "$(tr -d '\n' <stdout.txt | tr -s ' ')" '{ "findings": [ { "kind": "link-broken", "message": "1. A: ссылка на закладку «gone» ведёт на закладку, которой нет в документе: она никуда не приведёт; исправьте или удалите гиперссылку.", "page": 1, "severity": "error" }, { "kind": "duplicate-title", "message": "2. A: так же называется страница «1. A» в том же разделе: в дереве их не различить; переименуйте одну из них.", "page": 2, "severity": "warning" } ]}'
    run --format xml --output out in.htm
    expect_rc 2
    ;;
check_heading_limit)
    "$make_course" 501 0 crlf course.htm
    run --format json --output out course.htm
    expect_rc 3
    expect_contains stdout "$out" '"kind": "heading-limit",'
    expect_contains stdout "$out" '"page": null,'
    ;;
course_check)
    printf '<body><h1>C</h1><p>t</p></body>' >fine.htm
    printf '<body><h1>A</h1><p>t</p><h3>B</h3><p>t</p></body>' >jump.htm
    printf '{"format": "kelmo-course", "version": 1, "fullName": "K", "materials": [%s, %s]}' \
        '{"document": "fine.htm", "title": "One"}' '{"document": "jump.htm", "title": "Two"}' \
        >c.kelmo-course
    run --strict --format json --output out c.kelmo-course
    expect_rc 4
    expect_eq stdout "$(tr -d '\n' <stdout.txt | tr -s ' ')" '{ "findings": [ { "kind": "level-jump", "material": "Two", "message": "Two — 1.1. B: заголовок уровня 3 идёт сразу за заголовком уровня 1: дерево разделов будет построено неверно; задайте ему стиль «Заголовок 2».", "page": 5, "severity": "error" } ]}'
    run --check --output out c.kelmo-course
    expect_rc 0
    expect_contains stdout "$out" "ошибка  Two — 1.1. B: заголовок уровня 3"
    ;;
*)
    fail "no such case"
    ;;
esac

exit $((failures > 0))
