#!/usr/bin/env python3
"""scripts/check_layers.py over small trees made for each case, and over the project itself."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROJECT = os.path.normpath(os.path.join(HERE, "..", ".."))
SCRIPT = os.path.join(PROJECT, "scripts", "check_layers.py")


def run(root):
    done = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
    return done.returncode, done.stdout.splitlines()


class CheckLayers(unittest.TestCase):
    def tree(self, files):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        for name, text in files.items():
            path = os.path.join(folder.name, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        return folder.name

    # (the file, what it includes, whether that is an offence)
    CASES = [
        ("base/text/a.cpp", '#include "base/posix/b.h"', False),
        ("base/text/a.cpp", '#include "core/trips/trip.h"', True),
        ("base/files/a.h", '#include "adapters/ports/x.h"', True),
        ("base/files/a.h", '#include "ui/common/x.h"', True),
        ("base/files/a.h", "#include <QString>", True),
        ("core/trips/a.cpp", '#include "base/text/cp1251.h"', False),
        ("core/trips/a.cpp", '#include "core/stats/x.h"', False),
        ("core/trips/a.cpp", '#include "adapters/logbook/x.h"', True),
        ("core/link/a.cpp", '#include "cli/output.h"', True),
        ("core/link/a.cpp", '#  include "web/server.h"', True),
        ("core/link/a.cpp", "#include <QtCore/QObject>", True),
        ("core/link/a.cpp", "#include <vector>", False),
        ("adapters/ports/a.cpp", '#include "core/config/settings.h"', False),
        ("adapters/ports/a.cpp", "#include <QSerialPortInfo>", False),
        ("adapters/ports/a.cpp", '#include "ui/common/x.h"', True),
        ("adapters/logbook/a.cpp", '#include "cli/x.h"', True),
        ("ui/app/a.cpp", '#include "adapters/ports/x.h"', False),
        ("ui/app/a.cpp", '#include "cli/output.h"', True),
        ("cli/a.cpp", '#include "web/x.h"', True),
        ("cli/a.cpp", '#include "ui/common/x.h"', True),
        ("web/a.cpp", '#include "cli/x.h"', True),
        ("web/a.cpp", '#include "core/services/result.h"', False),
        ("sim/a.cpp", '#include "base/posix/wakeup.h"', False),
        ("sim/a.cpp", '#include "core/link/x.h"', True),
        ("tests/ui/a.cpp", '#include "cli/output.h"', False),
        ("bench/a.cpp", '#include "ui/app/x.h"', False),
        ("fuzz/a.cpp", '#include "adapters/logbook/x.h"', False),
        ("tools/a.cpp", '#include "ui/app/x.h"', False),
        ("core/trips/a.cpp", '// #include "ui/app/x.h"', False),
    ]

    def test_each_include_against_the_rule_of_its_room(self):
        for name, line, offence in self.CASES:
            with self.subTest(name=name, line=line):
                code, out = run(self.tree({name: "// a file\n" + line + "\n"}))
                self.assertEqual(code, 1 if offence else 0, out)
                if offence:
                    self.assertEqual(len(out), 1, out)
                    self.assertTrue(out[0].startswith(name + ":2: includes "), out[0])

    def test_every_offence_is_a_line_of_its_own(self):
        code, out = run(self.tree({
            "core/a.cpp": '#include "adapters/x.h"\n#include "ui/y.h"\n',
            "cli/b.h": '#include "web/z.h"\n',
        }))
        self.assertEqual(code, 1)
        self.assertEqual(out, [
            "cli/b.h:1: includes web/z.h: a front end never includes another front end "
            "(cli/ may include base/, core/, adapters/)",
            "core/a.cpp:1: includes adapters/x.h: core/ includes only base/ and core/ (no adapters, no front end)",
            "core/a.cpp:2: includes ui/y.h: core/ includes only base/ and core/ (no adapters, no front end)",
        ])

    def test_the_project_keeps_the_rule(self):
        code, out = run(PROJECT)
        self.assertEqual(code, 0, "\n".join(out))


if __name__ == "__main__":
    unittest.main()
