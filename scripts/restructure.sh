#!/usr/bin/env bash
# One-off restructuring of the tree, run from the repository root once the
# branches that touch render/ are merged; its result is committed on its own.
#
#   0. code merged from other branches is moved to the AppState records and
#      the PlotDriver accessors (the renames this branch made by hand);
#   1. render/ becomes plot/, rows/, levels/ and effects/, each a library of
#      its own (git mv; a CMakeLists.txt per folder, listing the sources
#      found there);
#   2. identifiers spell Color, not Colour (comments and strings keep their
#      words);
#   3. clang-format -i over every C++ file.
#
# Running it again changes nothing. Needs git, python3 and clang-format.
set -euo pipefail

[[ -f CMakeLists.txt && -d engine && -e .git ]] || { echo "run me from the repository root" >&2; exit 1; }

# --- 0. Names merged code may still use ---------------------------------------

python3 - <<'PY'
import os, re, subprocess
# AppState's fields by concern: the desktop's code written against the flat record moves to the nested one.
groups = {
    "run": ["plotting", "cycling", "zoomReady", "saveDialogBusy", "modalDepth"],
    "display": ["deepColorDisplay", "displayBits", "screenWidth", "screenHeight"],
    "flags": ["paletteDevice", "trueColorMode", "periodicityChecking", "specialColoring"],
    "preferences": ["soundOn", "statusBarOn"],
    "geometry": ["imageWidth", "imageHeight", "sizeIndex", "plasmaWidth", "plasmaHeight", "initialClientWidth",
                 "initialClientHeight"],
    "cyclingPace": ["cycleDelay", "cycleSpeedPosition", "cyclePacing"],
    "splash": ["splashAvailable", "openingSplashMs", "closingSplashMs"],
}
owner = r"(\b(?:state_|state|appState|app)\s*(?:\.|->)|\bstate\(\)\s*\.)"
files = [f for f in subprocess.check_output(["git", "ls-files", "shell", "tests/shell", "bench", "resources"]).decode().split()
         if f.endswith((".cpp", ".h")) and not f.endswith("app_state.h") and os.path.exists(f)]
for f in files:
    s = open(f, encoding="utf-8").read()
    r = s
    for group, fields in groups.items():
        r = re.sub(owner + r"(" + "|".join(fields) + r")\b", lambda m, g=group: m.group(1) + g + "." + m.group(2), r)
    r = re.sub(owner + r"plotFlags\(\)", lambda m: m.group(1) + "flags", r)
    if r != s:
        open(f, "w", encoding="utf-8").write(r)

# PlotDriver's state is read through accessors.
pat = re.compile(r"\b((?:[A-Za-z_]+\.)?driver|state_?\.plot|moved|earlier|reference|sequential|fed|zoomed)\."
                 r"(rowCounter|aspectFactor|plotSpanX|plotSpanY|adjustedXmax|adjustedYmin|iterationScale|"
                 r"levelSetTablesValid|levelSets)\b(?!\s*\()")
for f in subprocess.check_output(["git", "ls-files", "*.cpp", "*.h"]).decode().split():
    if not os.path.exists(f) or f.endswith("plot_driver.h"):
        continue
    s = open(f, encoding="utf-8").read()
    r = pat.sub(lambda m: m.group(1) + "." + m.group(2) + "()", s)
    if r != s:
        open(f, "w", encoding="utf-8").write(r)
PY

# --- 1. The folders -----------------------------------------------------------

folder_of() {
    case "$1" in
        plot_driver.* | plot_history.* | virtual_screen.*) echo plot ;;
        row_* | simd_* | worker_pool.*) echo rows ;;
        level_set*) echo levels ;;
        plasma.*) echo effects ;;
        *) echo "" ;;
    esac
}

if [[ -d render ]]; then
    left=()
    for path in $(git ls-files render); do
        name=${path#render/}
        [[ $name == CMakeLists.txt ]] && continue
        dir=$(folder_of "$name")
        if [[ -z $dir || $name == */* ]]; then
            left+=("$path")
            continue
        fi
        mkdir -p "$dir"
        git mv "$path" "$dir/$name"
    done
    if ((${#left[@]} > 0)); then
        echo "render/ still holds files with no folder chosen: ${left[*]}" >&2
        echo "add them to folder_of in $0 and run it again" >&2
        exit 1
    fi
    git rm -q render/CMakeLists.txt
    rmdir render 2>/dev/null || true
fi

# Lists the .cpp files of a folder for CMake, the vector units apart.
sources() { (cd "$1" && ls *.cpp 2>/dev/null | grep -v -E '_avx(2|512)\.cpp$' | sed 's/^/  /') || true; }
vector_sources() { (cd "$1" && ls *_avx2.cpp *_avx512.cpp 2>/dev/null | tr '\n' ' ' | sed 's/ $//') || true; }

write_library() {  # folder, what, dependencies
    local dir=$1 what=$2 deps=$3 vec
    vec=$(vector_sources "$dir")
    {
        echo "# $what"
        echo "add_library(fernwise_$dir STATIC"
        sources "$dir"
        echo ")"
        echo "target_include_directories(fernwise_$dir PUBLIC \${CMAKE_CURRENT_SOURCE_DIR})"
        echo "target_link_libraries(fernwise_$dir PUBLIC $deps)"
        if [[ -n $vec ]]; then
            cat <<EOF

# The vector loops: only these units are built for wider instructions, and
# they are called only on processors that have them. Nothing else in the
# program may be built with -m flags, or it would run on fewer machines.
# -ffp-contract=off (set for everything) keeps multiplies and adds separate
# here too.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)\$" AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_sources(fernwise_$dir PRIVATE $vec)
EOF
            for f in $vec; do
                case $f in
                    *_avx2.cpp) echo "  set_source_files_properties($f PROPERTIES COMPILE_OPTIONS \"-mavx2\")" ;;
                    *_avx512.cpp) echo "  set_source_files_properties($f PROPERTIES COMPILE_OPTIONS \"-mavx512f\")" ;;
                esac
            done
            echo "  target_compile_definitions(fernwise_$dir PRIVATE FERNWISE_X86_SIMD)"
            echo "endif()"
        fi
    } > "$dir/CMakeLists.txt"
}

write_library plot "The plot driver, the virtual screen and the plot history." "fernwise_engine fernwise_palette"
write_library rows "The row engine, the row pipeline, their vector loops and the worker pool." \
    "fernwise_plot Threads::Threads"
sed -i '1a find_package(Threads REQUIRED)' rows/CMakeLists.txt
write_library levels "The level-set tables' sampling pass of 24-bit colouring." "fernwise_rows fernwise_plot"
write_library effects "The plasma field." "fernwise_palette"
git add plot/CMakeLists.txt rows/CMakeLists.txt levels/CMakeLists.txt effects/CMakeLists.txt

python3 - <<'PY'
import re
path = "CMakeLists.txt"
s = open(path).read()
s = re.sub(r"foreach\(dir engine palette render imagefile\)",
           "foreach(dir engine palette plot rows levels effects imagefile)", s)
aggregate = ("# All of the renderer, for programs that use the whole of it.\n"
             "add_library(fernwise_render INTERFACE)\n"
             "target_link_libraries(fernwise_render INTERFACE fernwise_plot fernwise_rows fernwise_levels "
             "fernwise_effects)\n")
if "add_library(fernwise_render INTERFACE)" not in s:
    s = s.replace("add_subdirectory(cli)\n", aggregate + "add_subdirectory(cli)\n", 1)
open(path, "w").write(s)

path = "README.md"
s = open(path).read()
old = re.compile(r"^\| `render/` \|.*\n", re.M)
rows = ("| `plot/` | plot driver, virtual screen, plot history | engine, palette |\n"
        "| `rows/` | row engine, row pipeline, their vector loops and operation sets, processor check, the worker pool | plot |\n"
        "| `levels/` | the level-set tables' sampling pass of 24-bit colouring | rows, plot |\n"
        "| `effects/` | the plasma field | palette |\n")
s = old.sub(rows, s, count=1)
s = s.replace("`render/worker_pool.h`", "`rows/worker_pool.h`")
open(path, "w").write(s)
PY

# --- 2. Color, not Colour, in identifiers --------------------------------------

python3 - <<'PY'
import re, subprocess
files = subprocess.check_output(["git", "ls-files", "*.cpp", "*.h"]).decode().split()
# Comments, string and character literals pass untouched; identifiers change.
token = re.compile(r'//[^\n]*|/\*.*?\*/|R"(?P<d>[^(]*)\(.*?\)(?P=d)"|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|'
                   r'\b[A-Za-z_][A-Za-z0-9_]*\b', re.S)
def rename(m):
    t = m.group(0)
    if not (t[0].isalpha() or t[0] == "_"):
        return t
    return t.replace("Colour", "Color").replace("colour", "color").replace("COLOUR", "COLOR")
for f in files:
    s = open(f, encoding="utf-8").read()
    r = token.sub(rename, s)
    if r != s:
        open(f, "w", encoding="utf-8").write(r)
PY

# --- 3. One format ------------------------------------------------------------

git ls-files '*.cpp' '*.h' | xargs clang-format -i
echo "restructured; build, test and commit the result"
