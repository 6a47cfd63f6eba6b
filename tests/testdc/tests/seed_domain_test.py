#!/usr/bin/python3
"""Checks of the seed's own pieces that need no DC: DN escaping, LDIF encoding, the facts
file, and the DNS reply parser of the readiness probe."""
import base64
import os
import struct
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import dns_query  # noqa: E402
import seed_domain as sd  # noqa: E402

FACTS = os.path.join(os.path.dirname(HERE), "seed-facts.tsv")
HEADER = "\t".join(sd.COLUMNS) + "\n"


class DnEscaping(unittest.TestCase):
    CASES = [
        ("Smith, John", "Smith\\, John"),
        ("C++ Developers", "C\\+\\+ Developers"),
        ('Say "Hi" Again', 'Say \\"Hi\\" Again'),
        ("Back\\slash User", "Back\\\\slash User"),
        ("#Hash Lead", "\\#Hash Lead"),
        ("Mid#Hash", "Mid#Hash"),
        ("Trailing Space ", "Trailing Space\\ "),
        (" Leading", "\\ Leading"),
        ("Semi; Colon <Angle> = Equals", "Semi\\; Colon \\<Angle\\> \\= Equals"),
        ("Pat (Ops) *lead*", "Pat (Ops) *lead*"),
        ("王小明", "王小明"),
    ]

    def test_escape_and_split_round_trip(self):
        for name, escaped in self.CASES:
            with self.subTest(name=name):
                self.assertEqual(sd.escape_rdn_value(name), escaped)
                dn = "CN=%s,OU=Special Names,DC=lumivel,DC=test" % escaped
                self.assertEqual(sd.split_dn(dn)[0], ("CN", name))
                self.assertEqual(len(sd.split_dn(dn)), 4)

    def test_split_reads_hex_escapes_as_utf8(self):
        # The directory writes the line feed of a mangled name and may write any byte as hex.
        parts = sd.split_dn("OU=Archive\\0ADEL:1234,CN=Deleted Objects,DC=x")
        self.assertEqual(parts[0], ("OU", "Archive\nDEL:1234"))
        self.assertEqual(sd.split_dn("CN=Zo\\C3\\AB,DC=x")[0], ("CN", "Zoë"))

    def test_malformed_dns_are_rejected(self):
        for dn in ["CN=a\\", "no equals sign", "CN=a+SN=b,DC=x"]:
            with self.subTest(dn=dn):
                self.assertRaises(ValueError, sd.split_dn, dn)

    def test_same_dn_ignores_case_and_escape_style(self):
        self.assertTrue(sd.same_dn("OU=Apollo\\, Phase 2,DC=X", "ou=apollo\\2C phase 2,dc=x"))
        self.assertFalse(sd.same_dn("OU=Apollo,DC=X", "OU=Apollo,OU=Projects,DC=X"))
        self.assertFalse(sd.same_dn("OU=a\\", "OU=a"))


class LdifEncoding(unittest.TestCase):
    def decoded(self, line):
        attr, _, rest = line.rstrip("\n").partition(":")
        if rest.startswith(":"):
            return base64.b64decode(rest[1:].strip()).decode("utf-8")
        return rest[1:]

    def test_unsafe_values_travel_base64_and_decode_unchanged(self):
        for value in ["Trailing Space ", " lead", ":colon", "<angle", "Zoë", "\U00020BB7野 Taro", "a\nb"]:
            with self.subTest(value=value):
                line = sd.ldif_value("cn", value)
                self.assertTrue(line.startswith("cn:: "), line)
                self.assertEqual(self.decoded(line), value)

    def test_plain_values_stay_readable(self):
        self.assertEqual(sd.ldif_value("cn", "Pat (Ops) *lead*"), "cn: Pat (Ops) *lead*\n")

    def test_binary_password(self):
        line = sd.ldif_value("unicodePwd", sd.unicode_pwd("pw"))
        self.assertEqual(base64.b64decode(line.split(":: ")[1]), '"pw"'.encode("utf-16-le"))

    def test_parse_ldif_keeps_values_exact(self):
        text = ("dn:: " + base64.b64encode("CN=Trailing Space\\ ,DC=x".encode()).decode() + "\n"
                "cn:: " + base64.b64encode("Trailing Space \nDEL:42".encode()).decode() + "\n"
                "objectClass: top\nobjectClass: contact\n\n")
        [entry] = sd.parse_ldif(text)
        self.assertEqual(entry["cn"], ["Trailing Space \nDEL:42"])
        self.assertEqual(entry["objectclass"][-1], "contact")
        self.assertEqual(sd.tombstone_name(entry), ("Trailing Space ", "42"))


class FactsFile(unittest.TestCase):
    def write(self, body):
        f = tempfile.NamedTemporaryFile("w", suffix=".tsv", delete=False, encoding="utf-8")
        f.write("# comment\n" + HEADER + body)
        f.close()
        self.addCleanup(os.unlink, f.name)
        return f.name

    def test_committed_facts_are_consistent(self):
        rows = sd.read_facts(FACTS)
        sd.check_consistency(rows, "DC=lumivel,DC=test")
        names = {r["name"] for r in rows}
        # The shapes later tests rely on.
        self.assertIn("Trailing Space ", names)
        self.assertTrue(any(ord(c) > 0xFFFF for n in names for c in n))
        chain = [r for r in rows if r["parent_deleted"] and r["parent"].startswith("OU=Archive,")]
        self.assertTrue(chain, "no object two deleted levels deep")
        reused = [r for r in rows if "recreated" in r["flags"]]
        self.assertTrue(all(any(o["deleted"] and o["name"] == r["name"] and o["parent"] == r["parent"]
                                for o in rows) for r in reused))
        self.assertEqual(sum("login" in r["flags"] for r in rows), 1)

    def test_fields_are_not_trimmed(self):
        path = self.write("k\tcontact\tCN\t Spaced \t-\t-\t0\t0\t-\n")
        self.assertEqual(sd.read_facts(path)[0]["name"], " Spaced ")

    def test_bad_files_are_refused(self):
        bad = {
            "short line": "k\tcontact\tCN\tx\t-\t-\t0\t0\n",
            "duplicate key": "k\tcontact\tCN\tx\t-\t-\t0\t0\t-\nk\tcontact\tCN\ty\t-\t-\t0\t0\t-\n",
            "bad rdn": "k\tcontact\tDC\tx\t-\t-\t0\t0\t-\n",
        }
        for what, body in bad.items():
            with self.subTest(what=what):
                self.assertRaises(sd.SeedError, sd.read_facts, self.write(body))

    def test_inconsistent_deletion_shapes_are_refused(self):
        base = "DC=x"
        cases = {
            "parent_deleted under a live parent":
                "p\torganizationalUnit\tOU\tP\t-\t-\t0\t0\t-\nc\tcontact\tCN\tc\tOU=P\t-\t1\t1\t-\n",
            "live child of a deleted container":
                "p\torganizationalUnit\tOU\tP\t-\t-\t1\t0\t-\nc\tcontact\tCN\tc\tOU=P\t-\t0\t1\t-\n",
            "unknown parent": "c\tcontact\tCN\tc\tOU=Nowhere\t-\t0\t0\t-\n",
        }
        for what, body in cases.items():
            with self.subTest(what=what):
                rows = sd.read_facts(self.write(body))
                self.assertRaises(sd.SeedError, sd.check_consistency, rows, base)


class DnsReplies(unittest.TestCase):
    def reply(self, answers):
        # Header, the question, then answers whose names point back at the question.
        msg = struct.pack("!HHHHHH", 7, 0x8180, 1, len(answers), 0, 0)
        msg += dns_query.encode_name("_ldap._tcp.lumivel.test") + struct.pack("!HH", 33, 1)
        for rtype, rdata in answers:
            msg += b"\xc0\x0c" + struct.pack("!HHIH", rtype, 1, 900, len(rdata)) + rdata
        return msg

    def test_srv_target_and_compression(self):
        target = dns_query.encode_name("dc1.lumivel.test")
        msg = self.reply([(33, struct.pack("!HHH", 0, 100, 389) + target)])
        name, end = dns_query.read_name(msg, 12)
        self.assertEqual(name, "_ldap._tcp.lumivel.test")
        self.assertEqual(end, 12 + len(dns_query.encode_name(name)))
        pos = end + 4
        self.assertEqual(dns_query.read_name(msg, pos), ("_ldap._tcp.lumivel.test", pos + 2))

    def test_pointer_loops_and_truncation_are_errors(self):
        loop = b"\0" * 12 + b"\xc0\x0c"
        self.assertRaises(ValueError, dns_query.read_name, loop, 12)
        self.assertRaises(ValueError, dns_query.read_name, b"\0" * 12 + b"\x05ab", 12)

    def test_label_limits(self):
        self.assertRaises(ValueError, dns_query.encode_name, "a" * 64 + ".test")
        self.assertRaises(ValueError, dns_query.encode_name, "a..test")


class BulkLayout(unittest.TestCase):
    OU = "OU=Bulk Tombstones,DC=lumivel,DC=test"

    def setUp(self):
        # The GUIDs' wire form needs Samba's bindings, which not every interpreter has.
        self.real_guid = sd.ordered_guid
        sd.ordered_guid = lambda number: number.to_bytes(16, "big")

    def tearDown(self):
        sd.ordered_guid = self.real_guid

    def batch(self, first, end):
        return sd.bulk_batch(first, end, self.OU, "lumivel.test")

    def test_a_whole_batch_mixes_classes_and_deletes_its_team_as_a_tree(self):
        part, team, objects, members, leaves = self.batch(1, 1001)
        self.assertEqual(len(objects), 1000)
        classes = [o["objectClass"] for o in objects]
        for cls in ("contact", "user", "computer", "organizationalUnit"):
            self.assertIn(cls, classes)
        self.assertEqual(classes.count("organizationalUnit"), 2)
        below_team = [o["dn"] for o in objects if o["dn"].endswith("," + team)]
        self.assertEqual(len(below_team), sd.TEAM_SIZE - 1)
        self.assertTrue(any(",OU=Nested," in dn for dn in below_team))
        # What goes one by one is what lies directly in the live container, but for the team.
        self.assertEqual(sorted(leaves),
                         sorted(o["dn"] for o in objects if o["dn"].split(",", 1)[1] == part and o["dn"] != team))
        self.assertEqual(len(leaves) + sd.TEAM_SIZE, 1000)
        self.assertTrue(members and all(m in {o["dn"] for o in objects if o["objectClass"] == "user"} for m in members))
        self.assertEqual(len({o["objectGUID"] for o in objects}), 1000)
        self.assertEqual(len({o["sAMAccountName"] for o in objects if "sAMAccountName" in o}),
                         sum("sAMAccountName" in o for o in objects))

    def test_runs_cut_anywhere_never_put_an_object_below_a_team_they_do_not_make(self):
        for first, end in ((1, 51), (51, 1001), (800, 803), (801, 802), (802, 1001), (1001, 2001)):
            with self.subTest(first=first, end=end):
                part, team, objects, members, leaves = self.batch(first, end)
                self.assertEqual(len(objects), end - first)
                for o in objects:
                    made_here = team and (o["dn"] == team or o["dn"].endswith("," + team))
                    self.assertTrue(made_here or o["dn"].split(",", 1)[1] == part, o["dn"])
                nested = [o["dn"] for o in objects if o["dn"].startswith("OU=Nested,")]
                for o in objects:
                    if ",OU=Nested," in o["dn"]:
                        self.assertTrue(nested, "%s below a nested OU this run does not make" % o["dn"])

    def test_the_ou_argument_takes_only_ou_components(self):
        self.assertEqual(sd.bulk_ou_path("OU=More,OU=Bulk Tombstones"), ["OU=Bulk Tombstones", "OU=More"])
        self.assertEqual(sd.bulk_ou_path("OU=A\\, B"), ["OU=A\\, B"])
        for bad in ("CN=Users", "OU=a,CN=b", "", "OU=", "OU=a+CN=b"):
            with self.subTest(ou=bad):
                self.assertRaises(sd.SeedError, sd.bulk_ou_path, bad)


if __name__ == "__main__":
    unittest.main()
