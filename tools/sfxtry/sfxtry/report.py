"""What a try tells: its steps as they happen, the verdict with its evidence for a
person, and a JUnit report for a CI system's test view."""
import os
import socket
import sys
import tempfile
import time
import xml.etree.ElementTree as ET


class StepPrinter:
    """The steps on stderr as they happen: on a terminal one line a step, rewritten when
    it ends; with verbose a line as each starts and ends (for logs)."""

    def __init__(self, terminal, verbose, out=sys.stderr):
        self.terminal, self.verbose, self.out = terminal, verbose, out
        self.open = None
        self.carried = {}  # step -> seconds of its earlier parts

    def __call__(self, message):
        if not (self.terminal or self.verbose):
            return
        name = message["step"]
        if "seconds" not in message:
            if self.open == name:
                return  # the rest of a step already under way
            self.open = name
            note = f": {message['note']}" if message.get("note") else ""
            self.write(f"sfxpack: try: {name}{note} ...", end="" if self.terminal and not self.verbose else "\n")
            return
        seconds = self.carried.pop(name, 0) + message["seconds"]
        if message.get("part"):
            self.carried[name] = seconds
            return
        self.open = None
        if self.terminal and not self.verbose:
            self.write(f"\r\033[Ksfxpack: try: {name} {seconds:.1f} s")
        else:
            self.write(f"sfxpack: try: {name}: {seconds:.1f} s")

    def write(self, text, end="\n"):
        self.out.write(text + end)
        self.out.flush()


def confinement_words(doc):
    box = doc.get("sandbox") or {}
    if not box.get("confined"):
        return "NO (--no-sandbox): the installer could reach all that you can"
    return (f"yes, by {box['engine']}: the host's files read-only, {', '.join(box['hidden'])} out of sight, "
            f"writes only in the try's folder, no network, nothing outlives the try")


def text_report(doc):
    """The verdict and its evidence, for a person."""
    lines = [f"{doc['verdict']}: {doc['reason']}"]

    def row(label, value):
        lines.append(f"  {label:<10} {value}")
    if doc.get("window_titles") or doc.get("status_lines"):
        statuses = " -> ".join(f'"{s}"' for s in doc["status_lines"])
        row("window", f"{' / '.join(doc['window_titles'])}: {statuses}")
    if doc.get("box_text"):
        row("box", doc["box_text"].replace("\r\n", " ").replace("\n", " "))
    if doc.get("installer_command_line"):
        code = doc["installer_exit_code"]
        row("installer", doc["installer_command_line"] + (f" -> exit code {code}" if code is not None else ""))
    if doc.get("install_dir"):
        files = f"{doc['files']} file" + ("" if doc["files"] == 1 else "s")
        row("folder", f"{doc['install_dir']} ({files}, {doc['bytes']:,} bytes)")
    if doc.get("sandbox"):
        row("started", doc["application"] or "nothing")
        row("confined", confinement_words(doc))
    for line in doc.get("log_tail") or []:
        row("log", line)
    for path in doc.get("pictures") or []:
        row("picture", path)
    if doc.get("steps"):
        steps = ", ".join(f"{name} {seconds:.1f} s" for name, seconds in doc["steps"].items())
        row("time", f"{doc['seconds']:.1f} s ({steps})")
    if doc["verdict"] == "needs a person":
        lines.append(f"  Try again with --update: sfxpack try --update {doc['installer']}")
    return "\n".join(lines) + "\n"


def junit(doc):
    """The try as a JUnit XML document: one test case, failed unless "installed",
    skipped where it could not run here, an error for a fault of ours."""
    name = f"{os.path.basename(doc['installer'])} ({doc.get('mode', 'normal')} mode)"
    seconds = f"{doc.get('seconds') or 0:.3f}"
    failed, skipped, errors = 0, 0, 0
    case = ET.Element("testcase", name=name, classname="sfxpack.try", time=seconds)
    words = f"{doc['verdict'] or doc.get('error')}: {doc['reason']}"
    if doc.get("error") == "internal error":
        errors = 1
        ET.SubElement(case, "error", message=words, type="internal error").text = doc.get("trace", "")
    elif doc.get("error"):
        skipped = 1
        ET.SubElement(case, "skipped", message=words)
    elif doc["verdict"] != "installed":
        failed = 1
        ET.SubElement(case, "failure", message=words, type=doc["verdict"]).text = \
            "\n".join([words] + (doc.get("log_tail") or [])) + "\n"
    out = [f"{step}: {seconds:.2f} s" for step, seconds in (doc.get("steps") or {}).items()]
    out += [f"[[ATTACHMENT|{path}]]" for path in doc.get("pictures") or []]
    if out:
        ET.SubElement(case, "system-out").text = "\n".join(out) + "\n"
    suite = ET.Element("testsuite", name="sfxpack try", tests="1", failures=str(failed), errors=str(errors),
                       skipped=str(skipped), time=seconds, hostname=socket.gethostname() or "localhost",
                       timestamp=time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime()))
    suite.append(case)
    suites = ET.Element("testsuites", name="sfxpack try", tests="1", failures=str(failed), errors=str(errors),
                        skipped=str(skipped), time=seconds)
    suites.append(suite)
    ET.indent(suites)
    return ET.tostring(suites, encoding="unicode", xml_declaration=True) + "\n"


def write_whole(path, text):
    """Writes text to path under a temporary name beside it, renamed into place when
    whole: the file is complete or absent, and a link at path is replaced, not followed."""
    folder = os.path.dirname(os.path.abspath(path))
    fd, temporary = tempfile.mkstemp(prefix=".sfxpack-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(text)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(temporary, 0o644 & ~current_umask())
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask
