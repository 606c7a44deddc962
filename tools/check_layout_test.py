#!/usr/bin/env python3
"""Runs tools/check_layout.py on small trees of one include each."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                     "check_layout.py")
I = "desktop/windows/installer/"


class CheckLayoutTest(unittest.TestCase):

    def run_check(self, path, include):
        with tempfile.TemporaryDirectory() as root:
            for folder in (I, "desktop/windows/crash_reporter/"):
                os.makedirs(os.path.join(root, folder), exist_ok=True)
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write('// A file.\n#include <string>\n\n'
                        '#include "%s"\n' % include)
            result = subprocess.run([sys.executable, CHECK, root],
                                    capture_output=True, text=True)
            return result.returncode, result.stdout

    def test_includes_against_the_plan_fail_with_file_line_and_rule(self):
        cases = [
            (I + "common/names.cc", I + "core/settings.h", "common"),
            (I + "service/utils.cc", I + "wininet/allowed_hosts.h",
             "service"),
            (I + "wininet/downloader.h", I + "package_fetcher/fetcher.h",
             "wininet"),
            (I + "ui/window.cc", I + "installer_main.h", "ui"),
            (I + "core/steps.cc", I + "test/fixture.h", "core"),
            ("desktop/windows/crash_reporter/test/host.cc",
             I + "service/utils.h", "crash_reporter"),
        ]
        for path, include, floor in cases:
            with self.subTest(path=path):
                code, out = self.run_check(path, include)
                self.assertEqual(1, code)
                self.assertIn("%s:4: includes %s: the %s floor" %
                              (path, include, floor), out)

    def test_includes_along_the_plan_pass(self):
        cases = [
            (I + "core/settings.cc", I + "common/version_info.h"),
            (I + "package_fetcher/worker.cc", I + "wininet/downloader.h"),
            (I + "installer_main.cc", I + "ui/window.h"),
            (I + "wininet/downloader_unittest.cc", I + "core/stats_sender.h"),
            ("desktop/windows/crash_reporter/crash_log.cc",
             I + "common/branding_config.h"),
            (I + "common/names.cc", "base/logging.h"),
        ]
        for path, include in cases:
            with self.subTest(path=path):
                self.assertEqual((0, ""), self.run_check(path, include))


if __name__ == "__main__":
    unittest.main()
