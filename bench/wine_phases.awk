# Reads a trace of one run under
#   WINEDEBUG=+timestamp,+relay,+loaddll
# with the relay restricted to the calls named in bench/wine_cost.sh, and
# prints how long each phase of the run took on the program's main thread,
# in ms. Every phase is taken from the first line that marks its start.
#   awk [-v image=NAME.exe] [-v launched=S -v ended=S] [-v outside=1] \
#       -f bench/wine_phases.awk TRACE
# image: the program traced (qlx_upt.exe). launched, ended: the clock wine
# stamps its lines with (CLOCK_MONOTONIC_RAW, in s) just before wine was
# started and just after it ended; with them, the time before the image is
# mapped and after ExitProcess is printed too. outside=1: only those, for a
# program without the updater's phases.
function at(marker) { return (marker in seen) ? seen[marker] : "" }
function phase(name, from, to) {
  if (at(from) == "" || at(to) == "") {
    printf "%-34s (not in the trace)\n", name
    missing = 1
    return
  }
  printf "%-34s %5.0f\n", name, (at(to) - at(from)) * 1000
}
function mark(marker, pattern) {
  if (!(marker in seen) && $0 ~ pattern) seen[marker] = $1
}
BEGIN {
  FS = ":"
  if (image == "") image = "qlx_upt.exe"
  name = image
  gsub(/\./, "\\.", name)
  loaded = "Loaded L\".*" name "\""
  if (launched != "") seen["launched"] = launched
  if (ended != "") seen["ended"] = ended
}
thread == "" && $0 ~ loaded { thread = $2 }
thread != "" && $2 == thread {
  mark("mapped", loaded)
  mark("main", "Starting thread proc")
  mark("window", "Call user32\\.CreateWindowExW")
  mark("counts", "Call KERNEL32\\.CreateToolhelp32Snapshot")
  mark("shown", "Call user32\\.ShowWindow")
  mark("click", "msg=WM_COMMAND")
  mark("client", "Call KERNEL32\\.CreateProcessW")
  mark("started", "Ret  KERNEL32\\.CreateProcessW")
  mark("exit", "Call KERNEL32\\.ExitProcess")
}
END {
  if (launched != "") phase("wine started until image mapped", "launched", "mapped")
  if (!outside) {
    phase("DLLs loaded and started", "mapped", "main")
    phase("main to the first window", "main", "window")
    phase("window and controls", "window", "counts")
    phase("process counts", "counts", "shown")
    phase("shown until the upgrade click", "shown", "click")
    phase("update", "click", "client")
    phase("starting the client", "client", "started")
    phase("closing", "started", "exit")
  }
  phase("image mapped to exit", "mapped", "exit")
  if (ended != "") phase("ExitProcess until wine ended", "exit", "ended")
  exit missing
}
