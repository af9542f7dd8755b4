#!/usr/bin/env python3
"""Tests of sfxpack's CMake package, used as an outside project uses it.

    test_cmake_package.py BUILD Package   the package that `cmake --install BUILD` installs:
                                          found from anywhere, its functions' targets and
                                          tests, CPack's External script, every refusal
    test_cmake_package.py WORK Example    examples/cmake built against the release .deb
                                          (WORK/a/dist, as tests/release's Release test
                                          leaves it) unpacked with dpkg-deb -x; its try
                                          tests pass under Wine (in the VM where this
                                          kernel runs no 32-bit programs), a refused
                                          database fails with the verdict, and without
                                          Wine they are skipped
"""

import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

CTEST = shutil.which("ctest")

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
sys.path.insert(0, os.path.join(ROOT, "tests", "sfxpack"))
import toolkit  # noqa: E402
from packer import pe_stub  # noqa: E402

EXAMPLE = os.path.join(ROOT, "examples", "cmake")
IN_VM = os.path.join(ROOT, "scripts", "in-vm.sh")
PRODUCT_WXS = os.path.join(ROOT, "tests", "sfxpack", "fixtures", "product.wxs")
UPGRADE = "0D3A0E2C-6B33-4A8E-9E3B-5C1F3F1D2A77"
ARG = None


def sh(args, cwd=None, env=None, timeout=300):
    """(exit status, stdout and stderr as text) of a command; env is added to ours."""
    result = toolkit.run([str(a) for a in args], env=env, cwd=cwd, timeout=timeout)
    return result.returncode, (result.stdout + result.stderr).decode(errors="replace")


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    return path


def configure(folder, body, prefix, *args):
    """An outside project in folder/src with body after find_package(sfxpack), configured
    into folder/build against the package under prefix."""
    write(os.path.join(folder, "src", "CMakeLists.txt"),
          "cmake_minimum_required(VERSION 3.20)\nproject(outside VERSION 1.2.3 LANGUAGES NONE)\n"
          "find_package(sfxpack 1.0 CONFIG REQUIRED)\n" + body)
    return sh(["cmake", "-G", "Ninja", "-S", os.path.join(folder, "src"), "-B", os.path.join(folder, "build"),
               f"-DCMAKE_PREFIX_PATH={prefix}", *args])


def ctest_tests(build):
    """{test name: (command, {property: value})} as ctest would run them."""
    status, text = sh([CTEST, "--show-only=json-v1"], cwd=build)
    assert status == 0, text
    return {t["name"]: (t["command"], {p["name"]: p["value"] for p in t["properties"]})
            for t in json.loads(text)["tests"]}


def msi_table(database, table):
    """The rows of a table of database, as lists of fields."""
    text = subprocess.run(["msiinfo", "export", database, table], capture_output=True, text=True, check=True).stdout
    return [line.split("\t") for line in text.splitlines()[3:]]


def installer_database(sfxpack, installer, folder):
    """The one database packed in installer, extracted into folder."""
    status, text = sh([sfxpack, "extract", "-q", installer, "-C", folder])
    assert status == 0, text
    (name,) = os.listdir(folder)
    return os.path.join(folder, name)


def release_deb(dist, os_release="/etc/os-release"):
    """The .deb for this machine's Debian release: sfxpack_<v>+deb<N>_<arch>.deb where the
    release has one per Debian release, else its only sfxpack_<v>_<arch>.deb."""
    with open(os_release) as f:
        fields = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    release = fields.get("VERSION_ID", "").strip('"')
    debs = sorted(os.path.basename(p) for p in glob.glob(os.path.join(dist, "sfxpack_*.deb")))
    picked = [d for d in debs if f"+deb{release}_" in d] or [d for d in debs if "+deb" not in d]
    if len(picked) != 1:
        raise AssertionError(f"no single .deb for Debian {release or '(no VERSION_ID)'} in {dist}: {debs}")
    return os.path.join(dist, picked[0])


class ReleaseDeb(unittest.TestCase):
    def test_the_deb_of_this_debian_release_is_picked(self):
        cases = [
            ("12", ["sfxpack_1.0.0+deb12_amd64.deb", "sfxpack_1.0.0+deb13_amd64.deb"], "sfxpack_1.0.0+deb12_amd64.deb"),
            ("13", ["sfxpack_1.0.0+deb12_amd64.deb", "sfxpack_1.0.0+deb13_amd64.deb"], "sfxpack_1.0.0+deb13_amd64.deb"),
            ("12", ["sfxpack_1.0.0_amd64.deb"], "sfxpack_1.0.0_amd64.deb"),
            ("14", ["sfxpack_1.0.0+deb12_amd64.deb", "sfxpack_1.0.0+deb13_amd64.deb"], None),
            ("12", [], None),
        ]
        for release, debs, picked in cases:
            with self.subTest(release=release, debs=debs), tempfile.TemporaryDirectory() as dist:
                os_release = write(os.path.join(dist, "os-release"), f'NAME="Debian"\nVERSION_ID="{release}"\n')
                for deb in debs:
                    write(os.path.join(dist, deb), "")
                if picked:
                    self.assertEqual(release_deb(dist, os_release), os.path.join(dist, picked))
                else:
                    with self.assertRaisesRegex(AssertionError, f"no single .deb for Debian {release}"):
                        release_deb(dist, os_release)


class Installed(unittest.TestCase):
    """The package of the host tree, installed into a folder of its own: no default stub
    there, so the tests give a stand-in (a minimal PE image)."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="sfxpack-cmake-")
        cls.prefix = os.path.join(cls.work, "usr")
        status, text = sh(["cmake", "--install", ARG, "--prefix", cls.prefix])
        if status != 0:
            raise AssertionError(f"cmake --install {ARG} failed:\n{text}")
        cls.sfxpack = os.path.join(cls.prefix, "bin", "sfxpack")
        # A tree configured with a stub installs it: this package is to have none.
        stub = os.path.join(cls.prefix, "share", "sfxpack", "sfxstub.exe")
        if os.path.exists(stub):
            os.remove(stub)
        cls.stub = write(os.path.join(cls.work, "stub.exe"), "")
        with open(cls.stub, "wb") as f:
            f.write(pe_stub(signed=False))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.dir = tempfile.mkdtemp(dir=self.work)

    def project(self, body, *args, expect=0):
        status, text = configure(self.dir, body, self.prefix, *args)
        self.assertEqual(status, expect, text)
        return os.path.join(self.dir, "build"), text

    def build(self, build):
        status, text = sh(["cmake", "--build", build], timeout=600)
        self.assertEqual(status, 0, text)
        return text


class Package(Installed):
    def test_found_wherever_it_is_unpacked_and_versioned(self):
        moved = os.path.join(self.dir, "any", "where")
        shutil.copytree(self.prefix, moved, symlinks=True)
        body = ('get_target_property(at sfxpack::sfxpack IMPORTED_LOCATION)\n'
                'message(STATUS "sfxpack at ${at}; script ${SFXPACK_CPACK_SCRIPT}")\n')
        status, text = configure(self.dir, body, moved)
        self.assertEqual(status, 0, text)
        self.assertIn(f"sfxpack at {moved}/bin/sfxpack; script {moved}/lib/cmake/sfxpack/", text)
        status, text = configure(self.dir, "find_package(sfxpack 2 CONFIG REQUIRED)\n", moved)
        self.assertNotEqual(status, 0)
        self.assertIn("version: 1.0.0", text)
        os.remove(os.path.join(moved, "bin", "sfxpack"))
        status, text = configure(self.dir, "", moved)
        self.assertNotEqual(status, 0)
        self.assertIn("the program it names", text)

    def test_bad_calls_are_refused_with_the_reason(self):
        add = "sfxpack_add_installer"
        cases = [
            (f"{add}()", "the first argument is the name, not \"\""),
            (f"{add}(MSI a.msi STUB s.exe)", "the first argument is the name, not \"MSI\""),
            (f"{add}(setup STUB s.exe)", "MSI <file> is required"),
            (f"{add}(setup MSI)", "MSI needs a value"),
            (f"{add}(setup MSI a.msi STUB s.exe COLOUR red)", "unexpected argument(s) \"COLOUR red\""),
            (f"{add}(setup MSI a.msi STUB s.exe LEVEL 10)", "LEVEL takes 1 to 9, or 11 for zopfli, not \"10\""),
            (f"{add}(setup MSI a.msi STUB s.exe JOBS 0)", "JOBS takes a whole number from 1 to 256, not \"0\""),
            (f"{add}(setup MSI a.msi STUB s.exe JOBS two)", "JOBS takes a whole number from 1 to 256, not \"two\""),
            (f"{add}(setup MSI a.msi)", "installed without its stub (sfxstub.exe): give STUB <file>"),
            (f"{add}(setup MSI a.msi STUB s.exe OUTPUT a.msi)", "would overwrite its own input"),
            (f"add_custom_target(setup)\n{add}(setup MSI a.msi STUB s.exe)", "a target named \"setup\" already exists"),
            ("sfxpack_add_try_test(t)", "INSTALLER <file or target> is required"),
            ("sfxpack_add_try_test(t INSTALLER a.exe TIMEOUT 0)", "TIMEOUT takes a whole number from 1 to 86400"),
            ("sfxpack_add_try_test(t INSTALLER a.exe UPDATE yes)", "unexpected argument(s) \"yes\""),
            ("add_custom_target(other)\nsfxpack_add_try_test(t INSTALLER other)",
             "INSTALLER other is a target that sfxpack_add_installer did not make"),
        ]
        for call, words in cases:
            with self.subTest(call=call):
                status, text = configure(self.dir, call + "\n", self.prefix)
                self.assertNotEqual(status, 0, text)
                self.assertIn(words, " ".join(text.split()))

    def test_functions_need_the_program_in_sight(self):
        """Found in one folder, called from a sibling: the imported program is not seen
        there, and the call says so instead of a command that cannot run."""
        src = os.path.join(self.dir, "src")
        write(os.path.join(src, "finds", "CMakeLists.txt"), "find_package(sfxpack 1.0 CONFIG REQUIRED)\n")
        write(os.path.join(src, "uses", "CMakeLists.txt"), f"sfxpack_add_installer(setup MSI a.msi STUB {self.stub})\n")
        write(os.path.join(src, "CMakeLists.txt"), "cmake_minimum_required(VERSION 3.20)\nproject(s LANGUAGES NONE)\n"
              "add_subdirectory(finds)\nadd_subdirectory(uses)\n")
        status, text = sh(["cmake", "-G", "Ninja", "-S", src, "-B", os.path.join(self.dir, "build"),
                           f"-DCMAKE_PREFIX_PATH={self.prefix}"])
        self.assertNotEqual(status, 0, text)
        self.assertIn("sfxpack::sfxpack is not visible here", " ".join(text.split()))

    def test_installer_is_packed_again_only_when_its_database_or_stub_changes(self):
        """The database is a wixl step's output; the options reach sfxpack."""
        wxs = shutil.copy(PRODUCT_WXS, write(os.path.join(self.dir, "src", "product.wxs"), ""))
        stub = shutil.copy(self.stub, os.path.join(self.dir, "stub.exe"))
        build, _ = self.project("find_program(WIXL wixl REQUIRED)\n"
                                "add_custom_command(OUTPUT Setup.msi COMMAND ${WIXL} -o Setup.msi "
                                "${CMAKE_CURRENT_SOURCE_DIR}/product.wxs DEPENDS product.wxs VERBATIM)\n"
                                f"sfxpack_add_installer(setup MSI Setup.msi STUB {stub} LEVEL 11 JOBS 2 "
                                "OUTPUT out/CorvellaSetup.exe)\n")
        installer = os.path.join(build, "out", "CorvellaSetup.exe")
        self.assertIn("Packing the installer CorvellaSetup.exe", self.build(build))
        status, text = sh(["ninja", "-C", build, "-t", "commands", "setup"])
        self.assertIn(f"create -q --stub {stub} --level 11 -j 2 -o {installer} {build}/Setup.msi", text)
        status, text = sh([self.sfxpack, "verify", installer])
        self.assertEqual(status, 0, text)
        self.assertIn("no work to do", self.build(build))
        with open(wxs) as f:
            newer = f.read().replace("2.3.4.5", "2.3.4.6")
        with open(stub, "rb") as f:
            larger = f.read() + b"\0" * 512
        for what, path, data, version in (("database", wxs, newer.encode(), "2.3.4.6"), ("stub", stub, larger, None)):
            with self.subTest(changed=what):
                with open(path, "wb") as f:
                    f.write(data)
                self.assertIn("Packing the installer", self.build(build))
                with open(installer, "rb") as i, open(stub, "rb") as s:
                    self.assertEqual(i.read(os.path.getsize(stub)), s.read())
                if version:
                    database = installer_database(self.sfxpack, installer, tempfile.mkdtemp(dir=self.dir))
                    self.assertIn(["ProductVersion", version], msi_table(database, "Property"))

    def test_try_test_runs_try_and_is_skipped_where_it_cannot_run(self):
        shutil.copy(self.stub, os.path.join(self.dir, "stub.exe"))
        build, _ = self.project(f"sfxpack_add_installer(setup MSI {PRODUCT_WXS} STUB {self.dir}/stub.exe)\n"
                                "enable_testing()\n"
                                "sfxpack_add_try_test(plain INSTALLER setup)\n"
                                "sfxpack_add_try_test(all INSTALLER dist/Other.exe UPDATE TIMEOUT 60 "
                                "JUNIT reports/try.xml)\n")
        tests = ctest_tests(build)
        program = os.path.join(self.prefix, "bin", "sfxpack")
        self.assertEqual(tests["plain"][0], [program, "try", f"{build}/setup.exe"])
        self.assertEqual(tests["all"][0], [program, "try", "--update", "--timeout", "60", "--junit",
                                           f"{build}/reports/try.xml", f"{build}/dist/Other.exe"])
        self.assertTrue(os.path.isdir(os.path.join(build, "reports")))
        for name, limit in (("plain", 1200), ("all", 960)):
            with self.subTest(test=name):
                properties = tests[name][1]
                self.assertEqual(properties["SKIP_RETURN_CODE"], 3)
                self.assertEqual(properties["TIMEOUT"], limit)
        # Nothing built: the test fails, it is not skipped as "cannot run here" would be.
        status, text = sh([CTEST, "-R", "plain", "--output-on-failure"], cwd=build, env={"PATH": "/nonexistent"})
        self.assertNotEqual(status, 0, text)
        self.assertIn("Unable to find required file", text)
        # Built, on a machine without what try runs (no Wine, no Python): skipped, with the reason.
        os.makedirs(os.path.join(build, "dist"))
        shutil.copy(self.stub, os.path.join(build, "setup.exe"))
        status, text = sh([CTEST, "-R", "plain", "-V"], cwd=build, env={"PATH": "/nonexistent"})
        self.assertEqual(status, 0, text)
        self.assertIn("***Skipped", text)
        self.assertIn("apt install", text)
        self.assertNotIn("Passed", text)


def tree(root, files):
    """Files (path: text) under root; a value None makes a symbolic link to the first."""
    first = None
    for path, text in files.items():
        target = os.path.join(root, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if text is None:
            os.symlink(first, target)
        else:
            write(target, text)
            first = first or target


class CPackScript(Installed):
    """CPack's External generator with the script: the install tree of a cache variable."""

    CPACK = ("if(TREE2)\n"
             "  install(DIRECTORY ${TREE}/ DESTINATION . COMPONENT app)\n"
             "  install(DIRECTORY ${TREE2}/ DESTINATION . COMPONENT docs)\n"
             "else()\n"
             "  install(DIRECTORY ${TREE}/ DESTINATION .)\n"
             "endif()\n"
             "set(CPACK_GENERATOR External)\n"
             "set(CPACK_EXTERNAL_PACKAGE_SCRIPT \"${SFXPACK_CPACK_SCRIPT}\")\n"
             "set(CPACK_PACKAGE_VENDOR \"R&D <Corvella>\")\n"
             "set(CPACK_PACKAGE_INSTALL_DIRECTORY \"Corvella & Co\")\n"
             "set(CPACK_PACKAGE_FILE_NAME CorvellaSetup)\n"
             f"set(CPACK_WIX_UPGRADE_GUID {UPGRADE})\n"
             "include(CPack)\n")
    FILES = {"Corvella.exe": "program", "doc/R&D notes.txt": "notes", "doc/ünï [1] 'x'.txt": "odd",
             "lib/deep/er/a.dll": "library"}

    def setUp(self):
        super().setUp()
        self.tree = os.path.join(self.dir, "tree")
        tree(self.tree, self.FILES)
        self.build_dir, _ = self.project(self.CPACK, f"-DTREE={self.tree}")
        self.installer = os.path.join(self.build_dir, "CorvellaSetup.exe")

    def cpack(self, *defines):
        return sh(["cpack", "-D", f"CPACK_SFXPACK_STUB={self.stub}", *defines], cwd=self.build_dir)

    def components(self):
        """{file name: component GUID} of the installer's database, its properties, and
        its components and folders as rows."""
        database = installer_database(self.sfxpack, self.installer, tempfile.mkdtemp(dir=self.dir))
        components = msi_table(database, "Component")
        by_component = {row[0]: row[1] for row in components}
        return ({row[2]: by_component[row[1]] for row in msi_table(database, "File")},
                dict(row[:2] for row in msi_table(database, "Property")),
                sorted(components + msi_table(database, "Directory")))

    def test_installer_of_the_tree_with_guids_stable_from_the_install_path(self):
        guids, rows = [], []
        for _ in range(2):
            status, text = self.cpack()
            self.assertEqual(status, 0, text)
            self.assertIn(f"package: {self.installer} generated", text)
            with open(self.installer, "rb") as i, open(self.stub, "rb") as s:
                self.assertEqual(i.read(os.path.getsize(self.stub)), s.read())
            files, properties, table_rows = self.components()
            guids.append(files)
            rows.append(table_rows)
        # The same components in the same folders, identifiers and all.
        self.assertEqual(rows[0], rows[1])
        # Each GUID names its file's place: the folder under Program Files and the path in it.
        for path in self.FILES:
            name = os.path.basename(path)
            expected = uuid.uuid5(uuid.UUID(UPGRADE), f"Corvella & Co/{path}".lower())
            self.assertEqual(guids[0][name], "{" + str(expected).upper() + "}", path)
        self.assertEqual({k: properties[k] for k in ("ProductName", "ProductVersion", "Manufacturer", "UpgradeCode")},
                         {"ProductName": "outside", "ProductVersion": "1.2.3",
                          "Manufacturer": "R&D <Corvella>", "UpgradeCode": "{" + UPGRADE + "}"})
        # Another product (upgrade code) gets other GUIDs for the same paths.
        status, text = self.cpack("-D", "CPACK_WIX_UPGRADE_GUID=11111111-2222-3333-4444-555555555555")
        self.assertEqual(status, 0, text)
        self.assertFalse(set(self.components()[0].values()) & set(guids[0].values()))

    def test_components_are_installed_together(self):
        """CPack stages each component apart; the database holds them in one tree."""
        second = os.path.join(self.dir, "tree2")
        tree(second, {"manual/guide.txt": "read me"})
        status, text = sh(["cmake", f"-DTREE2={second}", self.build_dir])
        self.assertEqual(status, 0, text)
        status, text = self.cpack()
        self.assertEqual(status, 0, text)
        files = self.components()[0]
        for path in (*self.FILES, "manual/guide.txt"):
            expected = uuid.uuid5(uuid.UUID(UPGRADE), f"Corvella & Co/{path}".lower())
            self.assertEqual(files[os.path.basename(path)], "{" + str(expected).upper() + "}", path)
        tree(second, {"Corvella.exe": "another"})
        status, text = self.cpack()
        self.assertNotEqual(status, 0, text)
        self.assertIn("two components install Corvella.exe; the second is docs", " ".join(text.split()))

    def test_what_windows_cannot_take_is_refused_and_the_last_installer_kept(self):
        with open(self.installer, "wb") as f:
            f.write(b"the last installer")
        bad_trees = [
            ({"a:b.txt": "x"}, "cannot be a file name on Windows: a:b.txt"),
            ({"doc/nul.txt": "x"}, "cannot be a file name on Windows: doc/nul.txt"),
            ({"doc/a\tb.txt": "x"}, "cannot be a file name on Windows: doc/a b.txt"),
            ({"doc/a.": "x"}, "cannot be a file name on Windows: doc/a."),
            ({"a.txt": "x", "link.txt": None}, "holds a symbolic link, which a Windows Installer database cannot: link.txt"),
            ({"Doc/a.txt": "x", "doc/b.txt": "y"}, "differ only in case, one file on Windows: "),
            ({"a;b.txt": "x"}, "has a semicolon or an unpaired square bracket"),
            ({"a$b.txt": "x"}, "holds a '$', which wixl reads as a variable: a$b.txt"),
            ({}, "holds no file: nothing to install"),
        ]
        bad_settings = [
            (["CPACK_WIX_UPGRADE_GUID="], "CPACK_WIX_UPGRADE_GUID must be the product's upgrade code"),
            (["CPACK_WIX_UPGRADE_GUID=not-a-guid"], "(it is \"not-a-guid\")"),
            (["CPACK_PACKAGE_VERSION=1.2.3-rc1"], "\"1.2.3-rc1\" is no Windows Installer version"),
            (["CPACK_PACKAGE_VERSION=256.0.0"], "\"256.0.0\" is no Windows Installer version"),
            (["CPACK_PACKAGE_INSTALL_DIRECTORY=a/b"], "\"a/b\" is no folder name that Windows allows"),
            (["CPACK_PACKAGE_VENDOR="], "CPACK_PACKAGE_VENDOR is empty"),
            (["CPACK_PACKAGE_VENDOR=$(x)"], "CPACK_PACKAGE_VENDOR \"$(x)\" holds a '$'"),
            (["CPACK_EXTERNAL_ENABLE_STAGING=OFF"], "set CPACK_EXTERNAL_ENABLE_STAGING ON"),
            (["CPACK_SFXPACK_STUB=/nonexistent/stub.exe"], "no stub at /nonexistent/stub.exe"),
        ]
        cases = [(files, [], words) for files, words in bad_trees] + \
                [(self.FILES, [a for d in defines for a in ("-D", d)], words) for defines, words in bad_settings]
        for files, defines, words in cases:
            with self.subTest(files=files, defines=defines):
                shutil.rmtree(self.tree)
                os.makedirs(self.tree)
                tree(self.tree, files)
                status, text = self.cpack(*defines)
                self.assertNotEqual(status, 0, text)
                self.assertIn(words, " ".join(text.split()))
                with open(self.installer, "rb") as f:
                    self.assertEqual(f.read(), b"the last installer")
                self.assertEqual(sorted(n for n in os.listdir(self.build_dir) if n.startswith("CorvellaSetup.exe")),
                                 ["CorvellaSetup.exe"])


REFUSED_PROJECT = """cmake_minimum_required(VERSION 3.20)
project(refused LANGUAGES NONE)
find_package(sfxpack 1.0 CONFIG REQUIRED)
find_program(WIXL wixl REQUIRED)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/Corvella.exe "never installed")
add_custom_command(OUTPUT Refused.msi COMMAND ${WIXL} -D Folder=CorvellaRefused -o Refused.msi FIXTURE
                   DEPENDS FIXTURE WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} VERBATIM)
sfxpack_add_installer(refused MSI Refused.msi)
enable_testing()
sfxpack_add_try_test(try.refused INSTALLER refused UPDATE)
"""


class Example(unittest.TestCase):
    """examples/cmake as CI builds it, against the release's .deb unpacked with dpkg-deb
    -x, and an outside project whose database the Windows Installer refuses. Both ctest
    runs go into one VM where this kernel runs no 32-bit programs."""

    @classmethod
    def setUpClass(cls):
        cls.work = os.path.join(os.path.dirname(ARG), "cmake-example")
        shutil.rmtree(cls.work, ignore_errors=True)
        os.makedirs(cls.work)
        cls.seconds = {}
        deb = release_deb(os.path.join(ARG, "a", "dist"))
        cls.root = os.path.join(cls.work, "root")
        cls.step("unpack", ["dpkg-deb", "-x", deb, cls.root])
        prefix = f"-DCMAKE_PREFIX_PATH={cls.root}/usr"
        cls.example = os.path.join(cls.work, "example")
        cls.step("configure", ["cmake", "-G", "Ninja", "-S", EXAMPLE, "-B", cls.example, prefix, "--toolchain",
                               os.path.join(EXAMPLE, "mingw-w64-i686.cmake")])
        cls.step("build", ["cmake", "--build", cls.example])
        fixture = os.path.join(ROOT, "tests", "e2e", "fixtures", "corvella-refused.wxs")
        source = write(os.path.join(cls.work, "refused", "CMakeLists.txt"), REFUSED_PROJECT.replace("FIXTURE", fixture))
        cls.refused = os.path.join(cls.work, "refused", "build")
        cls.step("refused", ["cmake", "-G", "Ninja", "-S", os.path.dirname(source), "-B", cls.refused, prefix])
        cls.step("refused", ["cmake", "--build", cls.refused])
        # One VM for both: ctest's verdicts and output into files, read below; -V shows
        # why a test was skipped, too.
        script = ('cd "$1" && ctest -V >ctest.log 2>&1; echo $? >ctest.status; '
                  'cd "$2" && ctest -V >ctest.log 2>&1; echo $? >ctest.status')
        cls.step("ctest under Wine", [IN_VM, "--timeout", "2400", "bash", "-c", script, "in-vm", cls.example,
                                      cls.refused], timeout=2500)
        print(f"\ncmake example: seconds per step {cls.seconds}", file=sys.stderr)

    @classmethod
    def step(cls, name, args, timeout=600):
        start = time.monotonic()
        status, text = sh(args, timeout=timeout)
        cls.seconds[name] = round(cls.seconds.get(name, 0) + time.monotonic() - start, 1)
        if status != 0:
            raise AssertionError(f"{name}: {args} ended with {status}:\n{text}")

    @staticmethod
    def ctest_result(build):
        with open(os.path.join(build, "ctest.status")) as status, open(os.path.join(build, "ctest.log")) as log:
            return int(status.read()), log.read()

    def test_both_installers_install_under_wine(self):
        status, log = self.ctest_result(self.example)
        self.assertEqual(status, 0, log)
        for test in ("try.CorvellaSetup", "cpack", "try.cpack"):
            self.assertRegex(log, rf"Test +#\d+: {re.escape(test)} \.+ +Passed")
        # cpack run again on the same tree: the same component GUIDs.
        installer = os.path.join(self.example, "CorvellaSetup-1.0.0.exe")
        sfxpack = os.path.join(self.root, "usr", "bin", "sfxpack")
        first = msi_table(installer_database(sfxpack, installer, tempfile.mkdtemp(dir=self.work)), "Component")
        again, text = sh(["cpack"], cwd=self.example)
        self.assertEqual(again, 0, text)
        second = msi_table(installer_database(sfxpack, installer, tempfile.mkdtemp(dir=self.work)), "Component")
        self.assertEqual(first, second)

    def test_refused_database_fails_with_the_verdict(self):
        status, log = self.ctest_result(self.refused)
        self.assertNotEqual(status, 0, log)
        self.assertRegex(log, r"try\.refused \.+\*\*\*Failed")
        self.assertIn("installer failed: msiexec ended with 1603", log)

    def test_without_wine_the_tries_are_skipped(self):
        status, text = sh([CTEST, "-R", "^try", "-FA", ".*"], cwd=self.example, env={"PATH": "/nonexistent"})
        self.assertEqual(status, 0, text)
        self.assertEqual(len(re.findall(r"\*\*\*Skipped", text)), 2, text)
        self.assertNotIn("Passed", text)

if __name__ == "__main__":
    ARG = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
