#!/usr/bin/env python3
"""Mutation testing of Korvo's data path.

Small faults of the kinds real bugs take are put into the sources one at a time; each is built and
the tests that cover its file are run. A mutant is killed when a test fails, crashes or times out,
survives when they all pass, and is invalid when it does not compile. The score is
killed / (killed + survived).

Everything happens in a copy of the repository's tracked files (at a commit, or as they are in the
working tree with --from-worktree) under a temporary directory: the working tree is only read.

    dev/mutate.py --list src/common/number_text.cpp
    dev/mutate.py --sample 40 --seed 1                 # every file of dev/mutation-targets.txt
    dev/mutate.py --all --files 'src/common/*'
    dev/mutate.py --rerun-survivors dev/mutation-report.json

See dev/README.md. Python 3.11 standard library only.
"""
from __future__ import annotations

import argparse
import fcntl
import fnmatch
import hashlib
import io
import json
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tarfile
import tempfile
import time
from dataclasses import dataclass, asdict
from pathlib import Path

# ---------------------------------------------------------------------------------------------
# Lexing

PUNCTUATORS = sorted(
    """>>= <<= <=> ->* ... -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= :: .*
       { } [ ] ( ) ; : , . ? ~ ! + - * / % ^ & | = < > #""".split(),
    key=len, reverse=True)

KEYWORDS = set("""
    alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t char16_t
    char32_t class co_await co_return co_yield compl concept const consteval constexpr constinit
    const_cast continue decltype default delete do double dynamic_cast else enum explicit export
    extern false final float for friend goto if import inline int long module mutable namespace
    new noexcept not not_eq nullptr operator or or_eq override private protected public register
    reinterpret_cast requires return short signed sizeof static static_assert static_cast struct
    switch template this thread_local throw true try typedef typeid typename union unsigned using
    virtual void volatile wchar_t while xor xor_eq""".split())
OPERAND_KEYWORDS = {"this", "true", "false", "nullptr"}
TYPE_KEYWORDS = {"auto", "bool", "char", "char8_t", "char16_t", "char32_t", "double", "float", "int",
                 "long", "short", "signed", "unsigned", "void", "wchar_t", "const", "volatile"}
# Standard and Qt names that are types; the project's own come from its declarations.
STD_TYPES = set("""
    string string_view wstring size_t ptrdiff_t ssize_t intptr_t uintptr_t int8_t int16_t int32_t
    int64_t uint8_t uint16_t uint32_t uint64_t byte vector array deque list map multimap set
    unordered_map unordered_set optional variant any unique_ptr shared_ptr weak_ptr function pair
    tuple span path error_code ifstream ofstream fstream istream ostream iostream stringstream
    istringstream ostringstream mutex thread atomic duration time_point FILE""".split())

STRING_PREFIXES = {"u8", "u", "U", "L", "R", "u8R", "uR", "UR", "LR"}


@dataclass
class Tok:
    kind: str  # id, num, str, chr, punct
    text: str
    start: int
    end: int
    line: int  # 1-based


class LexError(Exception):
    pass


def lex(src: str) -> tuple[list[Tok], set[int]]:
    """C++ tokens of src without comments and preprocessor lines, and the lines marked NO_MUTATE."""
    toks: list[Tok] = []
    no_mutate: set[int] = set()
    i, n, line = 0, len(src), 1
    at_line_start = True

    def newlines(a: int, b: int) -> int:
        return src.count("\n", a, b)

    while i < n:
        c = src[i]
        if c == "\n":
            line += 1
            i += 1
            at_line_start = True
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if c == "\\" and src.startswith("\n", i + 1):  # line splice outside a directive
            i += 2
            line += 1
            continue
        if src.startswith("//", i):
            j = src.find("\n", i)
            j = n if j < 0 else j
            if "NO_MUTATE" in src[i:j]:
                no_mutate.add(line)
            i = j
            continue
        if src.startswith("/*", i):
            j = src.find("*/", i + 2)
            if j < 0:
                raise LexError(f"line {line}: unterminated comment")
            if "NO_MUTATE" in src[i:j]:
                no_mutate.add(line)
            line += newlines(i, j)
            i = j + 2
            continue
        if c == "#" and at_line_start:  # a directive, with its continuation lines
            j = i
            while True:
                k = src.find("\n", j)
                if k < 0:
                    j = n
                    break
                if src[k - 1] == "\\":
                    j = k + 1
                    continue
                j = k
                break
            line += newlines(i, j)
            i = j
            continue
        at_line_start = False
        start = i
        if c.isalpha() or c == "_":
            j = i + 1
            while j < n and (src[j].isalnum() or src[j] == "_"):
                j += 1
            word = src[i:j]
            if j < n and src[j] in "\"'" and word in STRING_PREFIXES:
                if word.endswith("R") and src[j] == '"':
                    k = src.find("(", j)
                    delim = src[j + 1:k]
                    close = src.find(")" + delim + '"', k)
                    if k < 0 or close < 0:
                        raise LexError(f"line {line}: unterminated raw string")
                    end = close + len(delim) + 2
                    toks.append(Tok("str", src[start:end], start, end, line))
                    line += newlines(start, end)
                    i = end
                    continue
                i = j  # prefix of an ordinary literal: fall through to the quote
                c = src[i]
            else:
                toks.append(Tok("id", word, start, j, line))
                i = j
                continue
        if c in "\"'":
            j = i + 1
            while j < n and src[j] != c:
                if src[j] == "\\":
                    j += 1
                elif src[j] == "\n":
                    raise LexError(f"line {line}: unterminated literal")
                j += 1
            if j >= n:
                raise LexError(f"line {line}: unterminated literal")
            toks.append(Tok("str" if c == '"' else "chr", src[start:j + 1], start, j + 1, line))
            i = j + 1
            continue
        if c.isdigit() or (c == "." and i + 1 < n and src[i + 1].isdigit()):
            j = i + 1
            while j < n:
                d = src[j]
                hexadecimal = src[start:start + 2] in ("0x", "0X")
                if d in "+-" and (src[j - 1] in "pP" or (src[j - 1] in "eE" and not hexadecimal)):
                    j += 1
                elif d.isalnum() or d in "._":
                    j += 1
                elif d == "'" and j + 1 < n and src[j + 1].isalnum():  # digit separator
                    j += 1
                else:
                    break
            toks.append(Tok("num", src[i:j], start, j, line))
            i = j
            continue
        for p in PUNCTUATORS:
            if src.startswith(p, i):
                toks.append(Tok("punct", p, i, i + len(p), line))
                i += len(p)
                break
        else:
            raise LexError(f"line {line}: unexpected character {c!r}")
    return toks, no_mutate


TYPE_DECL_RE = re.compile(
    r"\b(?:class|struct|union|enum(?:\s+class|\s+struct)?|typename)\s+(?:\[\[[^\]]*\]\]\s*)?"
    r"([A-Za-z_]\w*)|\busing\s+([A-Za-z_]\w*)\s*=|\btypedef\b[^;{}]*?\b([A-Za-z_]\w*)\s*;")


def declared_types(texts) -> set[str]:
    """Type names declared anywhere in the given sources (classes, enums, aliases, template
    parameters): what tells a pointer or rvalue-reference declarator from `*` and `&&`."""
    names = set()
    for text in texts:
        text = re.sub(r"//[^\n]*|/\*.*?\*/", " ", text, flags=re.S)
        for m in TYPE_DECL_RE.finditer(text):
            names.add(next(g for g in m.groups() if g))
    return names


# ---------------------------------------------------------------------------------------------
# Mutants

@dataclass
class Mutant:
    file: str
    line: int
    col: int
    op: str
    start: int
    end: int
    replacement: str
    original: str  # shown and used in keys: whitespace collapsed
    mutated: str
    id: str = ""

    def key(self) -> str:
        return f"{self.file}:{self.line}:{self.op}:{self.original}->{self.mutated}"


RELATIONAL = ["<", "<=", ">", ">=", "==", "!="]
ARITHMETIC_SWAP = {"+": "-", "-": "+", "*": "/", "/": "*", "+=": "-=", "-=": "+=", "*=": "/=", "/=": "*="}
ASSIGNMENT_OPS = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="}
INT_RE = re.compile(r"^(?:(0[xX])([0-9a-fA-F']+)|([1-9][0-9']*|0))([uUlLzZ]*)$")
NOT_STATEMENTS = KEYWORDS - {"this"}


def squash(text: str) -> str:
    return " ".join(text.split())


class Analysis:
    """Token stream of one file with brackets matched, template angle brackets told from
    relational operators, and braces told apart: blocks hold statements, the rest do not."""

    def __init__(self, src: str, types: set[str]):
        self.src = src
        self.toks, self.no_mutate = lex(src)
        self.types = types | STD_TYPES
        t = self.toks
        self.match: dict[int, int] = {}     # ( [ { to their closer and back
        self.parent: list[int] = [-1] * len(t)  # innermost open bracket around each token
        self.block: set[int] = set()        # indices of '{' that open a block of statements
        stack: list[int] = []
        for i, tok in enumerate(t):
            self.parent[i] = stack[-1] if stack else -1
            if tok.kind != "punct":
                continue
            if tok.text in "([{":
                if tok.text == "{" and self._opens_block(i, stack[-1] if stack else -1):
                    self.block.add(i)
                stack.append(i)
            elif tok.text in ")]}":
                if stack:
                    o = stack.pop()
                    self.match[o], self.match[i] = i, o
                    self.parent[i] = stack[-1] if stack else -1
        self.first_on_line: set[int] = set()
        self.last_on_line: set[int] = set()
        for i, tok in enumerate(t):
            if i == 0 or t[i - 1].line != tok.line:
                self.first_on_line.add(i)
            if i + 1 == len(t) or t[i + 1].line != tok.line:
                self.last_on_line.add(i)
        self.after_operator: set[int] = set()
        for i, tok in enumerate(t):
            if tok.text == "operator":
                j = i + 1
                while j < len(t) and t[j].text != "(":
                    self.after_operator.add(j)
                    j += 1
                if j + 1 < len(t) and t[j + 1].text == ")":  # operator()
                    self.after_operator.update({j, j + 1})
        self.template = self._template_angles()

    def _opens_block(self, i: int, enclosing: int) -> bool:
        prev = self.toks[i - 1].text if i else ""
        if prev in {")", "]", "else", "do", "try", "mutable", "noexcept", "override", "final", "const"}:
            return True
        if prev in {"{", "}", ";", ":"}:
            return enclosing in self.block
        j = i - 1  # a lambda's trailing return type: [](int x) -> std::vector<int> {
        while j > 0 and i - j < 12 and (self.toks[j].kind == "id" or
                                         self.toks[j].text in ("::", "<", ">", ">>", "*", "&", ",")):
            j -= 1
        return j >= 0 and self.toks[j].text == "->"

    def _template_angles(self) -> set[int]:
        t = self.toks
        marked: set[int] = set()
        stop = {";", "{", "}", "&&", "||", "?", "=", "==", "!=", "<=", ">=", "+", "/", "%", "!",
                ".", "->", "+=", "-=", "return"}
        for i, tok in enumerate(t):
            if tok.text != "<" or i in marked or i == 0 or i in self.after_operator:
                continue
            prev = t[i - 1]
            if not (prev.text == "template" or
                    (prev.kind == "id" and (prev.text not in KEYWORDS or prev.text.endswith("_cast")))):
                continue
            depth, j, angles = 1, i + 1, [i]
            close = -1
            while j < len(t):
                x = t[j].text
                if t[j].kind == "str" or x in stop:
                    break
                if x in "([":
                    if j not in self.match:
                        break
                    j = self.match[j] + 1
                    continue
                if x in ")]":
                    break
                if x == "<":
                    depth += 1
                    angles.append(j)
                elif x == ">":
                    depth -= 1
                    angles.append(j)
                elif x == ">>":
                    if depth < 2:
                        break
                    depth -= 2
                    angles.append(j)
                if depth == 0:
                    close = j
                    break
                j += 1
            if close < 0:
                continue
            after = t[close + 1] if close + 1 < len(t) else None
            if prev.text == "template" or prev.text.endswith("_cast") or after is None or \
                    after.kind == "id" or after.text in {"(", "{", "::", ">", ">>", ")", ",", ";", "&",
                                                         "&&", "*", "...", "["}:
                marked.update(angles)
        return marked

    # -- token classes
    def operand_end(self, i: int) -> bool:
        tok = self.toks[i]
        if tok.kind in ("num", "str", "chr"):
            return True
        if tok.kind == "id":
            return tok.text not in KEYWORDS or tok.text in OPERAND_KEYWORDS
        if tok.text in ("++", "--"):  # postfix: i-- > 0
            return i > 0 and (self.toks[i - 1].kind == "id" or self.toks[i - 1].text in (")", "]"))
        if tok.text == ")" and i in self.match:  # not the end of an if (...) head: if (e) *e = x;
            o = self.match[i]
            return not (o > 0 and self.toks[o - 1].text in ("if", "while", "for", "switch", "catch"))
        return tok.text in (")", "]")

    def type_end(self, i: int) -> bool:
        """Could the token end a type (before a declarator's * or &&)?"""
        tok = self.toks[i]
        if tok.kind == "id":
            return tok.text in TYPE_KEYWORDS or tok.text in self.types
        return tok.text in (">", ">>") and i in self.template

    def line_of(self, offset: int) -> int:
        return self.src.count("\n", 0, offset) + 1

    def col_of(self, offset: int) -> int:
        return offset - (self.src.rfind("\n", 0, offset) + 1)


def _int_variants(text: str) -> list[str]:
    m = INT_RE.match(text)
    if not m:
        return []
    hexp, hexd, dec, suffix = m.groups()
    value = int(hexd.replace("'", ""), 16) if hexp else int(dec.replace("'", ""))
    out = []
    for v in (value + 1, value - 1):
        if v < 0:
            out.append(f"(-{-v}{suffix})")
        elif hexp:
            digits = f"{v:X}" if any(ch in "ABCDEF" for ch in hexd) else f"{v:x}"
            out.append(f"{hexp}{digits}{suffix}")
        else:
            out.append(f"{v}{suffix}")
    return out


def generate(path: str, src: str, types: set[str]) -> list[Mutant]:
    """Every mutant of one source file, in source order."""
    a = Analysis(src, types)
    t = a.toks
    out: list[Mutant] = []

    def add(op: str, first: int, last: int, replacement: str, original: str | None = None,
            mutated: str | None = None, at: int | None = None):
        start, end = t[first].start, t[last].end
        lines = range(t[first].line, a.line_of(end) + 1)
        if any(ln in a.no_mutate for ln in lines) or (at is not None and t[at].line in a.no_mutate):
            return
        anchor = t[at] if at is not None else t[first]
        out.append(Mutant(path, anchor.line, a.col_of(anchor.start), op, start, end, replacement,
                          squash(original if original is not None else src[start:end]),
                          squash(mutated if mutated is not None else replacement)))

    for i, tok in enumerate(t):
        x = tok.text
        if i in a.after_operator:
            continue
        prev_operand = i > 0 and a.operand_end(i - 1)
        if tok.kind == "punct":
            if x in RELATIONAL and i not in a.template and prev_operand:
                for r in RELATIONAL:
                    if r != x:
                        add("relational", i, i, r)
            elif x in ARITHMETIC_SWAP and prev_operand:
                nxt = t[i + 1] if i + 1 < len(t) else None
                if x == "*" and (a.type_end(i - 1) or (nxt and nxt.text in {")", ",", ">", "&", "const"})):
                    continue  # a pointer declarator
                if x in ("+", "-", "+=") and ((nxt and nxt.kind in ("str", "chr")) or t[i - 1].kind == "str"):
                    continue  # appending text
                add("arithmetic", i, i, ARITHMETIC_SWAP[x])
            elif x in ("&&", "||"):
                nxt = t[i + 1] if i + 1 < len(t) else None
                if x == "&&" and (a.type_end(i - 1) or not prev_operand or
                                  (nxt and nxt.text in {")", ",", ">", "...", "=", ";"})):
                    continue  # an rvalue reference
                add("logical", i, i, "||" if x == "&&" else "&&")
        elif tok.kind == "num":
            for v in _int_variants(x):
                add("int-literal", i, i, v)
        elif x in ("true", "false"):
            flip = "false" if x == "true" else "true"
            if i > 0 and t[i - 1].text == "return" and i + 1 < len(t) and t[i + 1].text == ";":
                add("return-bool", i - 1, i, f"return {flip}", at=i - 1)
            else:
                add("bool-literal", i, i, flip)
        elif x in ("min", "max") and i >= 2 and t[i - 1].text == "::" and t[i - 2].text == "std":
            add("min-max", i, i, "max" if x == "min" else "min")
        elif x in ("if", "while") and i + 1 < len(t) and t[i + 1].text == "(" and i + 1 in a.match:
            close = a.match[i + 1]
            first = i + 2
            for j in range(i + 2, close):  # if (init; condition)
                if t[j].text == ";" and a.parent[j] == i + 1:
                    first = j + 1
            if first >= close:
                continue
            if t[first].text in TYPE_KEYWORDS or \
                    any(t[j].text == "=" and a.parent[j] == i + 1 for j in range(first, close)):
                continue  # a declaration as condition
            cond = src[t[first].start:t[close - 1].end]
            add("negate-cond", first, close - 1, f"!({cond})", original=cond, mutated=f"!({cond})", at=i)
        if tok.kind == "id" or x in ("++", "--", "*", "::"):
            _statement_removal(a, i, add)
    return out


def _statement_removal(a: Analysis, s: int, add) -> None:
    """A statement on a line of its own that is an assignment or a call becomes an empty block."""
    t = a.toks
    if s not in a.first_on_line or a.parent[s] not in a.block:
        return
    prev = t[s - 1].text if s else ""
    starts = prev in ("{", "}", ";", "else", "do")
    if prev == ")" and (s - 1) in a.match:
        o = a.match[s - 1]
        starts = o > 0 and t[o - 1].text in ("if", "while", "for")
    elif prev == ":":
        j = s - 2  # a case or goto label, not the middle of a conditional expression
        while j >= 0 and t[j].text not in ("{", "}", ";", ":") and a.parent[j] == a.parent[s]:
            j -= 1
        starts = t[j + 1].text in ("case", "default") or (j + 1 == s - 2 and t[s - 2].kind == "id")
    if not starts:
        return
    # the statement's end: the next ';' at its own level
    e = s
    while e < len(t) and not (t[e].text == ";" and a.parent[e] == a.parent[s]):
        if t[e].text == "{" and a.parent[e] == a.parent[s] and e in a.block:
            return  # a compound statement
        e += 1
    if e >= len(t) or t[e].line != t[s].line or e not in a.last_on_line:
        return
    p = s
    if t[p].text in ("emit", "Q_EMIT"):
        p += 1
    kind = None
    if t[p].text in ("++", "--"):
        kind, p = "assign", p + 1
    while p < e and t[p].text in ("*", "::"):
        p += 1
    if p >= e or t[p].kind != "id" or t[p].text in NOT_STATEMENTS:
        return
    called = False
    p += 1
    while p < e:
        x = t[p].text
        if x in ("::", ".", "->") and p + 1 < e and t[p + 1].kind == "id":
            p += 2
            called = False
        elif x in ("(", "[") and p in a.match:
            called = x == "("
            p = a.match[p] + 1
        elif x == "<" and p in a.template:
            depth = 0
            while p < e:  # skip the template arguments
                depth += {"<": 1, ">": -1, ">>": -2}.get(t[p].text, 0) if p in a.template else 0
                p += 1
                if depth <= 0:
                    break
        else:
            break
    if p == e:
        kind = kind or ("call" if called else None)
    elif t[p].text in ASSIGNMENT_OPS or t[p].text == "<<":
        kind = kind or ("call" if t[p].text == "<<" else "assign")
    elif t[p].text in ("++", "--") and p + 1 == e:
        kind = "assign"
    else:
        return
    if kind:
        add("remove-stmt", s, e, "{}")


def assign_ids(mutants: list[Mutant], sources: dict[str, str]) -> None:
    """Ids that do not change when lines move: they hash the file, the text of the mutated line,
    which of the lines of that text it is, the column, the operator and the mutated text."""
    seen: dict[str, int] = {}
    lines: dict[str, list[str]] = {}
    for m in mutants:
        ls = lines.setdefault(m.file, [ln.strip() for ln in sources[m.file].split("\n")])
        text = ls[m.line - 1]
        occurrence = ls[:m.line - 1].count(text)
        base = f"{m.file}|{text}|{occurrence}|{m.col}|{m.op}|{m.mutated}"
        h = "m" + hashlib.sha1(base.encode()).hexdigest()[:8]
        k = seen.get(h, 0)
        seen[h] = k + 1
        m.id = h if k == 0 else f"{h}.{k}"


# ---------------------------------------------------------------------------------------------
# Configuration files

def read_targets(path: Path) -> dict[str, list[str]]:
    """dev/mutation-targets.txt: `source/file.cpp: test_a test_b` per line, # starts a comment."""
    targets: dict[str, list[str]] = {}
    if not path.exists():
        return targets
    for n, raw in enumerate(path.read_text().splitlines(), 1):
        text = raw.split("#", 1)[0].strip()
        if not text:
            continue
        if ":" not in text:
            raise SystemExit(f"{path}:{n}: expected 'file: test ...'")
        f, tests = text.split(":", 1)
        targets[f.strip()] = tests.split()
    return targets


@dataclass
class Equivalent:
    text: str  # the key, or a mutant id
    reason: str
    lineno: int
    used: bool = False


def read_equivalents(path: Path) -> list[Equivalent]:
    """dev/mutation-equivalent.txt: `file:line:operator:original->mutated  # reason` (or a mutant id
    in place of the key)."""
    out = []
    if not path.exists():
        return out
    for n, raw in enumerate(path.read_text().splitlines(), 1):
        text = raw.strip()
        if not text or text.startswith("#"):
            continue
        m = re.match(r"^(.*?)\s+#\s*(.*)$", text)
        key, reason = (m.group(1), m.group(2)) if m else (text, "")
        out.append(Equivalent(squash(key), reason, n))
    return out


def match_equivalent(m: Mutant, entries: list[Equivalent]) -> Equivalent | None:
    key = m.key()
    for e in entries:
        if e.text == key or e.text == m.id:
            return e
    return None


# ---------------------------------------------------------------------------------------------
# Sources and the temporary tree

def git(repo: Path, *args: str, binary: bool = False):
    r = subprocess.run(["git", "-C", str(repo), *args], capture_output=True, check=False)
    if r.returncode != 0:
        raise SystemExit(f"git {' '.join(args)}: {r.stderr.decode().strip()}")
    return r.stdout if binary else r.stdout.decode().strip()


def load_tree(repo: Path, rev: str, from_worktree: bool) -> dict[str, bytes]:
    """Tracked files at rev, or as they are in the working tree (read, never written)."""
    files: dict[str, bytes] = {}
    if from_worktree:
        names = git(repo, "ls-files", "-z", "--cached", "--others", "--exclude-standard", binary=True)
        for name in names.decode().split("\0"):
            p = repo / name
            if name and p.is_file():
                files[name] = p.read_bytes()
        return files
    data = git(repo, "archive", "--format=tar", rev, binary=True)
    with tarfile.open(fileobj=io.BytesIO(data)) as tar:
        for member in tar:
            if member.isfile():
                files[member.name] = tar.extractfile(member).read()
    return files


def sync_tree(files: dict[str, bytes], root: Path) -> int:
    """Writes the files into root, only those that differ (with the current time, so that the
    build sees them as changed) and removes the ones a previous sync wrote that are gone now."""
    manifest = root / ".mutation-manifest"
    old = set(manifest.read_text().split("\n")) if manifest.exists() else set()
    changed = 0
    for name, data in files.items():
        p = root / name
        if p.is_file() and p.read_bytes() == data:
            continue
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(data)
        changed += 1
    for name in old - set(files) - {""}:
        (root / name).unlink(missing_ok=True)
    manifest.write_text("\n".join(sorted(files)))
    return changed


def write_source(path: Path, data: str) -> None:
    before = path.stat().st_mtime_ns
    path.write_bytes(data.encode("utf-8", errors="surrogateescape"))
    now = max(time.time_ns(), before + 1_000_000)
    os.utime(path, ns=(now, now))


# ---------------------------------------------------------------------------------------------
# Build and test

class Runner:
    def __init__(self, tree: Path, args):
        self.tree = tree
        self.build = tree / ("build-mutation-asan" if args.sanitize else "build-mutation")
        self.args = args
        self.env = dict(os.environ)
        self.env["QT_QPA_PLATFORM"] = "offscreen"
        self.ccache = shutil.which("ccache") if not args.no_ccache else None
        if self.ccache:
            # The tree lives at a new path every run: hash paths relative to it.
            self.env.update(CCACHE_BASEDIR=str(tree), CCACHE_NOHASHDIR="1")
        self.tests: dict[str, dict] = {}
        self.baseline: dict[str, float] = {}
        self.last_output = ""
        self.logs = tree / "mutation-logs"
        self.logs.mkdir(exist_ok=True)

    def configure(self) -> None:
        if (self.build / "CMakeCache.txt").exists():
            return
        cmd = ["cmake", "-S", str(self.tree), "-B", str(self.build), "-DCMAKE_BUILD_TYPE=Debug",
               f"-DKORVO_SANITIZE={'ON' if self.args.sanitize else 'OFF'}", "-DKORVO_BENCH=OFF",
               "-DKORVO_TESTS=ON"]
        if shutil.which("ninja"):
            cmd += ["-G", "Ninja"]
        if self.ccache:
            cmd += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
        r = subprocess.run(cmd, env=self.env, capture_output=True, text=True)
        if r.returncode != 0:
            raise SystemExit("cmake configure failed:\n" + r.stdout[-3000:] + r.stderr[-3000:])

    def build_targets(self, targets: list[str] | None, log: Path, timeout: float = 1800) -> bool:
        cmd = ["cmake", "--build", str(self.build), "-j", str(self.args.jobs)]
        if targets:
            cmd += ["--target", *targets]
        with open(log, "w") as out:
            try:
                r = subprocess.run(cmd, env=self.env, stdout=out, stderr=subprocess.STDOUT,
                                   timeout=timeout)
            except subprocess.TimeoutExpired:
                return False
        return r.returncode == 0

    def discover_tests(self) -> None:
        r = subprocess.run(["ctest", "--show-only=json-v1"], cwd=self.build, capture_output=True,
                           text=True, env=self.env)
        info = json.loads(r.stdout)
        for t in info.get("tests", []):
            cmd = t.get("command") or []
            if not cmd:
                continue
            props = {p["name"]: p["value"] for p in t.get("properties", [])}
            env = {}
            for kv in props.get("ENVIRONMENT", []):
                k, _, v = kv.partition("=")
                env[k] = v
            self.tests[Path(cmd[0]).name] = dict(name=t["name"], command=cmd, env=env,
                                                 cwd=props.get("WORKING_DIRECTORY", str(self.build)))

    def run_test(self, target: str, timeout: float) -> tuple[str, str, float]:
        """('pass' | 'fail' | 'crash' | 'timeout', detail, seconds)"""
        t = self.tests[target]
        env = dict(self.env, **t["env"], GTEST_FAIL_FAST="1", GTEST_BRIEF="1")
        t0 = time.monotonic()
        # A session of its own: a timeout ends the test and whatever it started.
        proc = subprocess.Popen(t["command"], cwd=t["cwd"], env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            out, _ = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.communicate()
            self.last_output = ""
            return "timeout", f"{target}: timed out after {timeout:.0f} s", time.monotonic() - t0
        except BaseException:
            os.killpg(proc.pid, signal.SIGKILL)
            raise
        secs = time.monotonic() - t0
        text = out.decode(errors="replace")
        self.last_output = text
        if proc.returncode == 0:
            return "pass", "", secs
        failed = re.findall(r"^\[  FAILED  \] (\S+?)(?:,| \(|$)", text, re.M)
        if proc.returncode < 0:
            return "crash", f"{target}: {signal.Signals(-proc.returncode).name}" + \
                (f" in {failed[0]}" if failed else ""), secs
        return "fail", f"{target}: " + (", ".join(dict.fromkeys(failed)) if failed else
                                        f"exit status {proc.returncode}"), secs

    def timeout_for(self, target: str) -> float:
        if self.args.timeout:
            return self.args.timeout
        return max(self.args.min_timeout, self.args.timeout_factor * self.baseline[target])


@dataclass
class Result:
    id: str
    file: str
    line: int
    op: str
    original: str
    mutated: str
    status: str  # killed, survived, invalid, equivalent
    detail: str = ""
    build_s: float = 0.0
    test_s: float = 0.0


def run_mutant(runner: Runner, m: Mutant, tests: list[str], originals: dict[str, str]) -> Result:
    path = runner.tree / m.file
    src = originals[m.file]
    res = Result(m.id, m.file, m.line, m.op, m.original, m.mutated, "survived")
    log = runner.logs / f"{m.id}.log"
    try:
        write_source(path, src[:m.start] + m.replacement + src[m.end:])
        t0 = time.monotonic()
        ok = runner.build_targets(tests, log, timeout=runner.args.build_timeout)
        res.build_s = time.monotonic() - t0
        if not ok:
            res.status = "invalid"
            errs = [ln for ln in log.read_text(errors="replace").splitlines() if "error" in ln]
            res.detail = (errs[0] if errs else "build failed").strip()[:200]
            return res
        for target in sorted(tests, key=lambda x: runner.baseline[x]):
            outcome, detail, secs = runner.run_test(target, runner.timeout_for(target))
            res.test_s += secs
            if outcome != "pass":
                res.status, res.detail = "killed", f"{outcome}: {detail}"
                with open(log, "a") as f:
                    f.write(runner.last_output)
                break
        return res
    finally:
        write_source(path, src)


# ---------------------------------------------------------------------------------------------
# Reports

def score(results: list[Result]) -> tuple[int, int, float | None]:
    k = sum(r.status == "killed" for r in results)
    s = sum(r.status == "survived" for r in results)
    return k, s, (100.0 * k / (k + s) if k + s else None)


def md_cell(text: str, limit: int = 80) -> str:
    text = text if len(text) <= limit else text[:limit - 1] + "…"
    return "`" + text.replace("|", "\\|").replace("`", "'") + "`"


def write_reports(results: list[Result], meta: dict, stale: list[Equivalent], md: Path, js: Path) -> None:
    k, s, sc = score(results)
    by = {st: [r for r in results if r.status == st] for st in ("killed", "survived", "invalid", "equivalent")}
    timed = [r.build_s + r.test_s for r in results if r.status in ("killed", "survived", "invalid")]
    meta = dict(meta, killed=k, survived=s, invalid=len(by["invalid"]), equivalent=len(by["equivalent"]),
                score=None if sc is None else round(sc, 1),
                mean_mutant_s=round(statistics.mean(timed), 1) if timed else None,
                median_mutant_s=round(statistics.median(timed), 1) if timed else None)
    js.parent.mkdir(parents=True, exist_ok=True)
    js.write_text(json.dumps(dict(meta=meta, mutants=[asdict(r) for r in results],
                                  stale_equivalents=[e.text for e in stale]), indent=1) + "\n")
    L = ["# Mutation report", "",
         f"- commit: `{meta['commit']}`{' (plus working-tree changes)' if meta.get('from_worktree') else ''}",
         f"- run: {meta['date']}, {meta['selection']}, of {meta['candidates']} candidates in "
         f"{len(meta['files'])} files",
         f"- build: {meta['build']}",
         f"- score: **{'n/a' if sc is None else f'{sc:.1f} %'}** = killed {k} / (killed {k} + survived {s});"
         f" invalid {len(by['invalid'])}, equivalent {len(by['equivalent'])} (not counted)"]
    if timed:
        L.append(f"- time per mutant: mean {meta['mean_mutant_s']} s, median {meta['median_mutant_s']} s "
                 f"(build + tests); first full build {meta.get('full_build_s', '?')} s")
    if meta.get("interrupted"):
        L.append("- **interrupted**: the mutants after the last one listed did not run")
    L += ["", "## Survivors", ""]
    L += [f"- `{r.file}:{r.line}` {r.op} {md_cell(r.original)} → {md_cell(r.mutated)} ({r.id})"
          for r in by["survived"]] or ["none"]
    L += ["", "## All mutants", "", "| id | file | line | operator | original → mutated | status | detail | s |",
          "|---|---|---|---|---|---|---|---|"]
    for r in results:
        L.append(f"| {r.id} | {r.file} | {r.line} | {r.op} | {md_cell(r.original, 50)} → "
                 f"{md_cell(r.mutated, 50)} | {r.status} | {r.detail.replace('|', '/')[:90]} | "
                 f"{r.build_s + r.test_s:.1f} |")
    if stale:
        L += ["", "## Equivalent entries that match no mutant (stale?)", ""]
        L += [f"- line {e.lineno}: `{e.text}`" for e in stale]
    md.parent.mkdir(parents=True, exist_ok=True)
    md.write_text("\n".join(L) + "\n")


def compare(old_path: Path, results: list[Result]) -> list[str]:
    old = {m["id"]: m["status"] for m in json.loads(old_path.read_text())["mutants"]}
    return [f"{r.id} {r.file}:{r.line} {r.op} {r.original} -> {r.mutated}: {old[r.id]} -> {r.status}"
            for r in results if r.id in old and old[r.id] != r.status]


# ---------------------------------------------------------------------------------------------
# Suggesting the covering tests: the test programs whose link pulled in a file's object

def suggest_targets(runner: Runner, files: list[str]) -> None:
    cc = json.loads((runner.build / "compile_commands.json").read_text())
    objects: dict[str, list[Path]] = {}
    for e in cc:
        src = Path(e["file"]).resolve()
        try:
            rel = str(src.relative_to(runner.tree.resolve()))
        except ValueError:
            continue
        out = e.get("output") or re.search(r"-o (\S+)", e["command"]).group(1)
        objects.setdefault(rel, []).append(Path(e["directory"]) / out)

    def symbols(p: Path, strong_only: bool) -> set[str]:
        r = subprocess.run(["nm", "--defined-only", str(p)], capture_output=True, text=True)
        out = set()
        for ln in r.stdout.splitlines():
            parts = ln.split()
            if len(parts) == 3 and (not strong_only or parts[1] in "TDBR"):
                out.add(parts[2])
        return out
    # a test that runs a program of the build (add_dependencies) covers what that program links
    extra: dict[str, list[str]] = {}
    for cm in (runner.tree / "tests").rglob("CMakeLists.txt"):
        for t, deps in re.findall(r"add_dependencies\(\s*(\S+)\s+([^)]*)\)", cm.read_text()):
            extra.setdefault(t, []).extend(deps.split())
    linked = {}
    for name in runner.tests:
        syms = symbols(runner.build / name, False)
        for d in extra.get(name, []):
            if (runner.build / d).exists():
                syms |= symbols(runner.build / d, False)
        linked[name] = syms
    for f in files:
        own = set().union(*(symbols(o, True) for o in objects.get(f, []) if o.exists())) \
            if objects.get(f) else set()
        users = sorted(n for n, syms in linked.items() if own & syms)
        print(f"{f}: {' '.join(users)}" if own else f"# {f}: no object found")


# ---------------------------------------------------------------------------------------------

def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("sources", nargs="*", help="source files to mutate (default: all of the targets file)")
    p.add_argument("--files", help="comma-separated globs: keep only these of the source files")
    sel = p.add_mutually_exclusive_group()
    sel.add_argument("--all", action="store_true", help="run every candidate")
    sel.add_argument("--sample", type=int, metavar="N", help="run N candidates drawn uniformly")
    sel.add_argument("--only", metavar="IDS", help="comma-separated mutant ids (or file:line) to run")
    sel.add_argument("--rerun-survivors", metavar="JSON", help="run the survivors of an earlier report")
    p.add_argument("--seed", type=int, default=1, help="seed of --sample (default 1)")
    p.add_argument("--list", action="store_true", help="only list the candidates with their ids")
    p.add_argument("--suggest-targets", action="store_true",
                   help="build, then print for each file the test programs that link its code")
    p.add_argument("--rev", default="HEAD", help="commit whose tracked files are used (default HEAD)")
    p.add_argument("--from-worktree", action="store_true",
                   help="use the working tree's tracked and new files instead of a commit")
    p.add_argument("--tests", help="comma-separated test programs covering the files given on the command line")
    p.add_argument("--targets", help="default: dev/mutation-targets.txt")
    p.add_argument("--equivalent", help="default: dev/mutation-equivalent.txt")
    p.add_argument("--report", help="Markdown report (default dev/mutation-report.md; JSON beside it)")
    p.add_argument("--json", help="JSON report (default: the Markdown report's name with .json)")
    p.add_argument("--compare", metavar="JSON", help="print the mutants whose status changed since this report")
    p.add_argument("--workdir", help="tree to use (default: a new /tmp/korvo-mutation-*); reused if it exists")
    p.add_argument("--keep", action="store_true", help="keep the temporary tree and its build")
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--sanitize", action="store_true", help="build with the sanitizers (slower)")
    p.add_argument("--no-ccache", action="store_true")
    p.add_argument("--timeout", type=float, help="fixed timeout per test program, seconds")
    p.add_argument("--timeout-factor", type=float, default=10.0, help="timeout = factor x baseline (default 10)")
    p.add_argument("--min-timeout", type=float, default=20.0, help="but at least this, seconds (default 20)")
    p.add_argument("--build-timeout", type=float, default=900.0)
    return p.parse_args(argv)


def main(argv=None) -> int:
    args = parse_args(argv)
    repo = Path(git(Path(__file__).resolve().parent, "rev-parse", "--show-toplevel"))
    targets_path = Path(args.targets) if args.targets else repo / "dev/mutation-targets.txt"
    equiv_path = Path(args.equivalent) if args.equivalent else repo / "dev/mutation-equivalent.txt"
    targets = read_targets(targets_path)
    commit = git(repo, "rev-parse", args.rev)
    files = load_tree(repo, commit, args.from_worktree)

    sources = [os.path.normpath(s) for s in args.sources] or list(targets)
    if args.tests:
        for s in args.sources:
            targets[os.path.normpath(s)] = args.tests.split(",")
    if args.files:
        globs = args.files.split(",")
        sources = [s for s in sources if any(fnmatch.fnmatch(s, g) for g in globs)]
    if not sources:
        raise SystemExit("no source files selected")
    for s in sources:
        if s not in files:
            raise SystemExit(f"{s}: not a tracked file at {commit[:10]}")
        if not args.list and not args.suggest_targets and not targets.get(s):
            raise SystemExit(f"{s}: no covering tests; add it to {targets_path} or pass --tests")

    text = {name: data.decode("utf-8", errors="surrogateescape") for name, data in files.items()
            if name.endswith((".h", ".hpp", ".cpp", ".cc")) and name.startswith(("src/", "tests/"))}
    types = declared_types(text.values())
    candidates: list[Mutant] = []
    for s in sources:
        try:
            candidates += generate(s, text[s], types)
        except LexError as e:
            raise SystemExit(f"{s}: {e}")
    assign_ids(candidates, text)
    equivalents = read_equivalents(equiv_path)
    for m in candidates:
        e = match_equivalent(m, equivalents)
        if e:
            e.used = True
    # an entry of a file not selected this time is not stale; an id entry only when all files are
    everything = set(sources) >= set(targets)
    stale = [e for e in equivalents if not e.used and
             (e.text.split(":", 1)[0] in sources if ":" in e.text else everything)]
    for e in stale:
        print(f"warning: {equiv_path.name}:{e.lineno} matches no mutant: {e.text}", file=sys.stderr)

    if args.sample is not None:
        chosen = random.Random(args.seed).sample(candidates, min(args.sample, len(candidates)))
        order = {id(m): i for i, m in enumerate(candidates)}
        chosen.sort(key=lambda m: order[id(m)])
        selection = f"sample {args.sample} seed {args.seed}"
    elif args.only or args.rerun_survivors:
        if args.only:
            wanted = args.only.split(",")
        else:
            wanted = [r["id"] for r in json.loads(Path(args.rerun_survivors).read_text())["mutants"]
                      if r["status"] == "survived"]
        chosen = [m for m in candidates if m.id in wanted or f"{m.file}:{m.line}" in wanted]
        missing = [w for w in wanted if not any(m.id == w or f"{m.file}:{m.line}" == w for m in chosen)]
        for w in missing:
            print(f"warning: no candidate {w} (source changed, or its file not selected?)", file=sys.stderr)
        selection = f"{len(chosen)} chosen mutants"
    else:
        chosen = candidates
        selection = "all"

    if args.list:
        for m in chosen:
            e = match_equivalent(m, equivalents)
            print(f"{m.id}  {m.file}:{m.line}:{m.col + 1}  {m.op:12} {m.original} -> {m.mutated}"
                  + ("   [equivalent]" if e else ""))
        print(f"{len(chosen)} of {len(candidates)} candidates", file=sys.stderr)
        return 0
    if not (args.all or args.sample is not None or args.only or args.rerun_survivors or args.suggest_targets):
        raise SystemExit("say which mutants to run: --sample N, --all, --only IDS or --rerun-survivors JSON"
                         " (or --list)")

    report = Path(args.report) if args.report else repo / "dev/mutation-report.md"
    js = Path(args.json) if args.json else report.with_suffix(".json")
    tree_root = Path(args.workdir) if args.workdir else Path(tempfile.mkdtemp(prefix="korvo-mutation-"))
    tree_root.mkdir(parents=True, exist_ok=True)
    lock = open(tree_root / ".lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        raise SystemExit(f"{tree_root} is in use by another run")
    # A terminated run still restores the mutated file and writes what it has.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    tree = tree_root / "src"
    tree.mkdir(exist_ok=True)
    results: list[Result] = []
    interrupted = False
    full_build_s = None
    t_start = time.monotonic()
    try:
        changed = sync_tree(files, tree)
        log(f"tree {tree} ({changed} files written), commit {commit[:10]}")
        runner = Runner(tree, args)
        runner.configure()
        t0 = time.monotonic()
        log(f"full build ({'ccache, ' if runner.ccache else ''}-j{args.jobs}) ...")
        if not runner.build_targets(None, runner.logs / "full-build.log"):
            raise SystemExit(f"the unmutated tree does not build; see {runner.logs / 'full-build.log'}"
                             + ("" if args.keep else " (pass --keep to look at it)"))
        full_build_s = time.monotonic() - t0
        log(f"full build done in {full_build_s:.0f} s")
        runner.discover_tests()
        if args.suggest_targets:
            suggest_targets(runner, sources)
            return 0
        to_run = [m for m in chosen if not match_equivalent(m, equivalents)]
        needed = sorted({t for m in to_run for t in targets[m.file]})
        unknown = [t for t in needed if t not in runner.tests]
        if unknown:
            raise SystemExit(f"not test programs of this build: {', '.join(unknown)}")
        for t in needed:
            outcome, detail, secs = runner.run_test(t, 600)
            if outcome != "pass":
                raise SystemExit(f"the unmutated {t} does not pass ({detail}); fix that first:\n"
                                 + runner.last_output[-3000:])
            runner.baseline[t] = secs
            log(f"baseline {t}: {secs:.1f} s (timeout {runner.timeout_for(t):.0f} s)")
        originals = {s: text[s] for s in sources}
        for i, m in enumerate(chosen, 1):
            e = match_equivalent(m, equivalents)
            if e:
                r = Result(m.id, m.file, m.line, m.op, m.original, m.mutated, "equivalent", e.reason)
            else:
                r = run_mutant(runner, m, targets[m.file], originals)
            results.append(r)
            log(f"[{i}/{len(chosen)}] {r.status:10} {m.id} {m.file}:{m.line} {m.op} "
                f"{m.original[:60]} -> {m.mutated[:60]}  {r.detail[:100]}  ({r.build_s + r.test_s:.1f} s)")
    except KeyboardInterrupt:
        interrupted = True
        log("interrupted; the report holds the mutants run so far")
    finally:
        if results or interrupted:
            meta = dict(commit=commit, from_worktree=args.from_worktree,
                        date=time.strftime("%Y-%m-%d %H:%M"), selection=selection,
                        candidates=len(candidates), files=sources, interrupted=interrupted,
                        build=f"Debug, sanitizers {'on' if args.sanitize else 'off'}, "
                              f"{'ccache' if shutil.which('ccache') and not args.no_ccache else 'no ccache'}, -j{args.jobs}",
                        full_build_s=None if full_build_s is None else round(full_build_s),
                        total_s=round(time.monotonic() - t_start))
            write_reports(results, meta, stale, report, js)
            k, s, sc = score(results)
            log(f"score {'n/a' if sc is None else f'{sc:.1f} %'} (killed {k}, survived {s}); "
                f"report {report}, {js}")
            if args.compare:
                for ln in compare(Path(args.compare), results):
                    print(ln)
        if args.keep or args.workdir:
            log(f"kept {tree_root}")
        else:
            shutil.rmtree(tree_root, ignore_errors=True)
    return 0


def log(msg: str) -> None:
    print(msg, file=sys.stderr, flush=True)


if __name__ == "__main__":
    sys.exit(main())
