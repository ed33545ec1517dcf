#!/usr/bin/env python3
"""Tests of dev/mutate.py's mutant generation: python3 dev/test_mutate.py"""
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import mutate  # noqa: E402


def mutants(src, types=()):
    return mutate.generate("x.cpp", src, set(types) | mutate.declared_types([src]))


def ops(src, op=None, types=()):
    return [(m.line, m.original, m.mutated) for m in mutants(src, types) if op is None or m.op == op]


class Lexing(unittest.TestCase):
    def test_comments_literals_and_directives_are_not_mutated(self):
        src = ('#include <vector>\n#define TWICE(x) ((x) + \\\n  (x))\n'
               'int f() {\n  // a < b\n  /* 3 + 4 */ const char* s = "a < b + 1";\n'
               '  char c = \'<\';\n  auto r = R"x(1 + 2 < 3)x";\n  return 0;\n}\n')
        self.assertEqual(ops(src, "relational"), [])
        self.assertEqual(ops(src, "arithmetic"), [])
        self.assertEqual([m[1] for m in ops(src, "int-literal")], ["0", "0"])

    def test_no_mutate_marker(self):
        src = "int f(int a) {\n  if (a < 2) return 1; // NO_MUTATE\n  return a + 1;\n}\n"
        self.assertEqual({m[0] for m in ops(src)}, {3})

    def test_digit_separator_and_float(self):
        self.assertEqual(ops("int x = 1'000; double y = 1e-3;", "int-literal"),
                         [(1, "1'000", "1001"), (1, "1'000", "999")])


class Operators(unittest.TestCase):
    def test_templates_arrows_and_shifts_are_left_alone(self):
        src = ("void f(int a, int b, P* p) {\n"
               "  std::vector<std::vector<int>> v;\n"
               "  auto n = static_cast<int>(a) < b;\n"
               "  std::cout << a >> b;\n"
               "  p->x = a <= b;\n"
               "}\n")
        rel = ops(src, "relational")
        self.assertEqual({(m[0], m[1]) for m in rel}, {(3, "<"), (5, "<=")})
        self.assertEqual(len(rel), 10)  # five replacements each

    def test_relational_inside_a_call_with_a_template(self):
        src = "bool f(int i, V d) { return i < static_cast<int>(d.size()) && i > 0; }"
        self.assertEqual({m[1] for m in ops(src, "relational")}, {"<", ">"})

    def test_rvalue_references_and_pointers_are_not_operators(self):
        src = ("struct Foo {};\n"
               "void f(Foo&& x, auto&& y, int a, int b, Foo* p) {\n"
               "  if (a && b) g(a * b, std::move(x));\n"
               "  const char* s = nullptr;\n"
               "  if (p) *p = Foo{};\n"
               "}\n")
        self.assertEqual(ops(src, "logical"), [(3, "&&", "||")])
        self.assertEqual(ops(src, "arithmetic"), [(3, "*", "/")])

    def test_unary_minus_and_text_appends_are_not_arithmetic(self):
        src = 'void f(int a, std::string s) { int b = -a; s += \'x\'; s = "-" + s; b = a - 1; }'
        self.assertEqual(ops(src, "arithmetic"), [(1, "-", "+")])

    def test_integer_literals(self):
        self.assertEqual(mutate._int_variants("0"), ["1", "(-1)"])
        self.assertEqual(mutate._int_variants("0x1F"), ["0x20", "0x1E"])
        self.assertEqual(mutate._int_variants("10u"), ["11u", "9u"])
        self.assertEqual(mutate._int_variants("1.5"), [])

    def test_booleans_min_max(self):
        src = "bool f(int a) { g(true); a = std::min(a, 3); return false; }"
        self.assertEqual(ops(src, "bool-literal"), [(1, "true", "false")])
        self.assertEqual(ops(src, "return-bool"), [(1, "return false", "return true")])
        self.assertEqual(ops(src, "min-max"), [(1, "min", "max")])

    def test_negated_conditions(self):
        src = ("void f(int a) {\n  if (int b = a; b > 1) g();\n  while (a--) g();\n"
               "  if (auto* p = h()) g();\n  if constexpr (true) g();\n}\n")
        self.assertEqual(ops(src, "negate-cond"), [(2, "b > 1", "!(b > 1)"), (3, "a--", "!(a--)")])


class StatementRemoval(unittest.TestCase):
    SRC = ("struct S { int x = 0; void m(); };\n"       # 1
           "void f(S& s, int a) {\n"                     # 2
           "  int b = a;\n"                              # 3 declaration
           "  s.x = b;\n"                                # 4 assignment
           "  s.m();\n"                                  # 5 call
           "  ++s.x;\n"                                  # 6 increment
           "  if (a)\n"                                  # 7
           "    g(a);\n"                                 # 8 body of the if
           "  switch (a) {\n"                            # 9
           "  case 1:\n"                                 # 10
           "    h();\n"                                  # 11
           "    break;\n"                                # 12
           "  }\n"                                       # 13
           "  x = a ? b :\n"                             # 14 continued below: not a statement
           "    c();\n"                                  # 15
           "  g(a); g(b);\n"                             # 16 two statements on a line
           "  k(a,\n    b);\n"                           # 17-18 a call over two lines
           "  return;\n"                                 # 19
           "}\n")

    def test_which_lines(self):
        self.assertEqual([m[0] for m in ops(self.SRC, "remove-stmt")], [4, 5, 6, 8, 11])

    def test_the_body_of_an_if_becomes_an_empty_block(self):
        m = next(m for m in mutants(self.SRC) if m.op == "remove-stmt" and m.line == 8)
        text = self.SRC[:m.start] + m.replacement + self.SRC[m.end:]
        self.assertIn("  if (a)\n    {}\n  switch", text)

    @unittest.skipUnless(shutil.which("g++"), "needs g++")
    def test_every_mutant_of_integer_code_compiles(self):
        src = ("int f(int* v, int a, int b) {\n"
               "  int n = 0;\n"
               "  for (int i = 0; i < a && i <= b; ++i) {\n"
               "    if (v[i] > 2 || v[i] != b) n += v[i] * 2 - 1;\n"
               "    v[i] = std::max(n, a / 3);\n"
               "    g(n);\n"
               "  }\n"
               "  while (n >= 10) n -= b;\n"
               "  return n == a ? 1 : 0;\n"
               "}\n"
               "bool p(int a) { if (a < 0) return true; return false; }\n")
        header = "void g(int);\nnamespace std { int max(int, int); int min(int, int); }\n"
        ms = mutants(src)
        self.assertGreater(len(ms), 60)
        with tempfile.TemporaryDirectory() as d:
            for m in ms:
                path = Path(d) / f"{m.op}-{m.start}-{len(m.replacement)}.cpp"
                path.write_text(header + src[:m.start] + m.replacement + src[m.end:])
                r = subprocess.run(["g++", "-std=c++20", "-fsyntax-only", str(path)],
                                   capture_output=True, text=True)
                self.assertEqual(r.returncode, 0, f"{m.key()}\n{r.stderr[:500]}")


class Bookkeeping(unittest.TestCase):
    def test_ids_survive_moved_lines_and_differ_between_mutants(self):
        a = "int f(int x) {\n  return x + 1;\n}\n"
        b = "// moved down\n" + a
        ma, mb = mutants(a), mutants(b)
        mutate.assign_ids(ma, {"x.cpp": a})
        mutate.assign_ids(mb, {"x.cpp": b})
        self.assertEqual([m.id for m in ma], [m.id for m in mb])
        self.assertEqual(len({m.id for m in ma}), len(ma))

    def test_equivalent_entries_match_by_key_or_id(self):
        src = "int f(int x) {\n  return x + 1;\n}\n"
        ms = mutants(src)
        mutate.assign_ids(ms, {"x.cpp": src})
        plus = next(m for m in ms if m.op == "arithmetic")
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("# header\nx.cpp:2:arithmetic:+->-  # the sign does not matter here\n"
                    f"{ms[-1].id} # by id\nx.cpp:9:arithmetic:+->- # stale\n")
        entries = mutate.read_equivalents(Path(f.name))
        Path(f.name).unlink()
        self.assertEqual(mutate.match_equivalent(plus, entries).reason, "the sign does not matter here")
        self.assertIs(mutate.match_equivalent(ms[-1], entries), entries[1])
        self.assertIsNone(mutate.match_equivalent(ms[0], entries[2:]))

    def test_score_counts_only_killed_and_survived(self):
        R = mutate.Result
        rs = [R("a", "f", 1, "o", "", "", s) for s in ("killed", "killed", "killed", "survived",
                                                       "invalid", "equivalent")]
        self.assertEqual(mutate.score(rs), (3, 1, 75.0))


class TreeAndRuns(unittest.TestCase):
    def test_sync_writes_only_what_changed_and_drops_what_is_gone(self):
        with tempfile.TemporaryDirectory() as d:
            root = Path(d)
            self.assertEqual(mutate.sync_tree({"a.cpp": b"1", "dir/b.h": b"2"}, root), 2)
            before = (root / "dir/b.h").stat().st_mtime_ns
            self.assertEqual(mutate.sync_tree({"a.cpp": b"3", "dir/b.h": b"2"}, root), 1)
            self.assertEqual((root / "a.cpp").read_bytes(), b"3")
            self.assertEqual((root / "dir/b.h").stat().st_mtime_ns, before)
            mutate.sync_tree({"a.cpp": b"3"}, root)
            self.assertFalse((root / "dir/b.h").exists())

    def fake_runner(self, root, build_ok=True, outcomes=None):
        outcomes = outcomes or {}
        class Fake:
            tree, logs, last_output = root, root, ""
            args = type("A", (), {"build_timeout": 10})()
            baseline = {"t_fast": 0.1, "t_slow": 2.0}
            ran = []

            def build_targets(self, targets, log, timeout):
                log.write_text("x.cpp:1: error: nope\n" if not build_ok else "")
                self.seen = (root / "x.cpp").read_text()
                return build_ok

            def run_test(self, target, timeout):
                self.ran.append(target)
                return outcomes.get(target, ("pass", "", 0.5))

            def timeout_for(self, target):
                return 20
        return Fake()

    def run_one(self, **kw):
        with tempfile.TemporaryDirectory() as d:
            root = Path(d)
            src = "int f(int a) { return a + 1; }\n"
            (root / "x.cpp").write_text(src)
            m = next(m for m in mutants(src) if m.op == "arithmetic")
            m.id = "m1"
            runner = self.fake_runner(root, **kw)
            r = mutate.run_mutant(runner, m, ["t_slow", "t_fast"], {"x.cpp": src})
            self.assertEqual((root / "x.cpp").read_text(), src)  # restored
            self.assertIn("a - 1", runner.seen)                    # built with the mutant
            return r, runner.ran

    def test_killed_by_the_first_failing_test_fastest_first(self):
        r, ran = self.run_one(outcomes={"t_fast": ("fail", "t_fast: A.B", 0.2)})
        self.assertEqual((r.status, r.detail, ran), ("killed", "fail: t_fast: A.B", ["t_fast"]))

    def test_survived_and_invalid(self):
        self.assertEqual(self.run_one()[0].status, "survived")
        r, ran = self.run_one(build_ok=False)
        self.assertEqual((r.status, ran), ("invalid", []))
        self.assertIn("error: nope", r.detail)

    def test_reports_escape_table_bars_and_compare_finds_changes(self):
        R = mutate.Result
        rs = [R("m1", "x.cpp", 3, "logical", "||", "&&", "survived", build_s=4, test_s=1),
              R("m2", "x.cpp", 4, "bool-literal", "true", "false", "killed", "fail: t", 3, 1)]
        meta = dict(commit="c0ffee", date="today", selection="all", candidates=2, files=["x.cpp"],
                    build="Debug")
        with tempfile.TemporaryDirectory() as d:
            md, js = Path(d) / "r.md", Path(d) / "r.json"
            mutate.write_reports(rs, meta, [], md, js)
            text = md.read_text()
            self.assertIn("**50.0 %**", text)
            self.assertIn("| m1 | x.cpp | 3 | logical | `\\|\\|` → `&&` | survived |", text)
            self.assertIn("mean 4.5 s", text)
            rs[0].status = "killed"
            self.assertEqual(len(mutate.compare(js, rs)), 1)
            self.assertIn("survived -> killed", mutate.compare(js, rs)[0])

    def test_targets_file(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("# comment\nsrc/a.cpp:  t1 t2  # why\n# src/b.cpp: t3\n\nsrc/c.cpp: t4\n")
        try:
            self.assertEqual(mutate.read_targets(Path(f.name)),
                             {"src/a.cpp": ["t1", "t2"], "src/c.cpp": ["t4"]})
        finally:
            Path(f.name).unlink()


if __name__ == "__main__":
    unittest.main()
