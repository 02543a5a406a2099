#!/usr/bin/env python3
"""fuzz-seeds.py - writes the seed corpora of the fuzz targets from the golden cases and the
examples: run it again when golden files are added (the corpora are kept in the repository).

Kerfgen seeds: the script, then "\\0\\1" and the configuration file, then "\\0\\1" and the first
other file of the case (a path file), renamed "p" in the script. Kerfdisplay seeds: every
expected G-code output. Kerfsend seeds: a configuration file, then "\\0\\1" and each expected
G-code output."""
import hashlib
import pathlib
import re

top = pathlib.Path(__file__).resolve().parent.parent
golden = top / "tests" / "kerfgen" / "golden"
corpus = top / "tests" / "fuzz" / "corpus"


def cases(path):
    """Yields (name, [(section, words, content)]) for each case of a golden file."""
    case = None
    section = None
    for line in path.read_bytes().split(b"\n"):
        if line.startswith(b"=== "):
            if case:
                yield case
            case = (line[4:].decode(), [])
            section = None
        elif line.startswith(b"--- ") and case:
            words = line[4:].decode().split()
            noeol = words and words[-1] == "noeol"
            section = [words[0] if words else "", words[1:-1] if noeol else words[1:], b"", noeol]
            case[1].append(section)
        elif section is not None:
            section[2] += line + b"\n"
    if case:
        yield case


def content(section):
    text = section[2]
    if section[3] and text.endswith(b"\n"):
        text = text[:-1]
    return text


def save(folder, data):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(data).hexdigest()[:16]).write_bytes(data)


KSCONFIG = (b"baudrate 115200\ncomchannel COM2\npromptchar -\n"
            b"comdevice COM2 /dev/ttyUSB0\nreplytimeout 2.5\n")

for old in corpus.glob("*/*"):
    old.unlink()
for path in sorted(golden.glob("*.golden")):
    for name, sections in cases(path):
        script = next((content(s) for s in sections if s[0] == "script"), None)
        if script is None:
            continue
        config = next((content(s) for s in sections if s[0] == "config"), b"")
        files = [s for s in sections if s[0] == "file" and s[1]]
        extra = b""
        if files:
            extra = content(files[0])
            script = re.sub(rb"(?<!\S)" + re.escape(files[0][1][0].encode()) + rb"(?!\S)", b"p", script)
        seed = script
        if config or extra:
            seed += b"\0\1" + config
        if extra:
            seed += b"\0\1" + extra
        save(corpus / "kerfgen", seed)
        for s in sections:
            if s[0] == "output" or (s[0] == "expect" and s[1] and s[1][0].endswith(".nc")):
                save(corpus / "kerfdisplay", content(s))
                save(corpus / "kerfsend", KSCONFIG + b"\0\1" + content(s))
for example in sorted((top / "examples").glob("*.txt")):
    save(corpus / "kerfgen", example.read_bytes())
