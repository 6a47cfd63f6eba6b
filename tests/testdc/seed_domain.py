#!/usr/bin/python3
"""Fills the test domain: the objects and tombstones of seed-facts.tsv, and bulk tombstones.

    seed_domain.py seed --facts seed-facts.tsv --passwords FILE
    seed_domain.py bulk --count N [--first K] [--ou OU] [--count-file F] --smb-conf DC_SMB_CONF
    seed_domain.py bulk-live --count N [--first K] --smb-conf DC_SMB_CONF
    seed_domain.py purge --dn TOMBSTONE_DN --smb-conf DC_SMB_CONF

Runs inside the test DC's namespace with the administrator's ticket (testdc exec's
environment). The seed talks to the DC with the OpenLDAP tools over SASL GSSAPI, the path
the product's own tests take; bulk writes into the DC's database directly, for speed. Every step is checked against the directory afterwards, so a
seed that "worked" but produced other tombstones than the facts file promises fails here.
"""
import argparse
import base64
import csv
import os
import secrets
import string
import subprocess
import sys
import time

SHOW_DELETED = "1.2.840.113556.1.4.417"
TREE_DELETE = "1.2.840.113556.1.4.805"
COLUMNS = ["key", "class", "rdn", "name", "parent", "sam", "deleted", "parent_deleted", "flags"]
BULK_OU = "OU=Bulk Tombstones"
USER_CLASSES = {"user", "inetOrgPerson"}


class SeedError(Exception):
    pass


# ---------------------------------------------------------------- DNs and LDIF

DN_SPECIALS = ',+"\\<>;='


def escape_rdn_value(value):
    """Escapes one attribute value for use in a DN string."""
    out = []
    for i, ch in enumerate(value):
        if ch in DN_SPECIALS:
            out.append("\\" + ch)
        elif ch == "\0":
            out.append("\\00")
        elif (i == 0 and ch in " #") or (i == len(value) - 1 and ch == " "):
            out.append("\\" + ch)
        else:
            out.append(ch)
    return "".join(out)


def split_dn(dn):
    """Splits a DN string into (type, value) pairs with the values unescaped.

    Multi-valued RDNs are not used by the seed and are rejected."""
    parts = []
    i, n = 0, len(dn)
    while i < n:
        eq = dn.find("=", i)
        if eq < 0:
            raise ValueError("no '=' in DN component: %r" % dn[i:])
        rtype = dn[i:eq].strip()
        i = eq + 1
        raw = bytearray()
        while i < n and dn[i] != ",":
            ch = dn[i]
            if ch == "+":
                raise ValueError("multi-valued RDN in %r" % dn)
            if ch == "\\":
                if i + 1 >= n:
                    raise ValueError("DN ends in a backslash: %r" % dn)
                pair = dn[i + 1:i + 3]
                if len(pair) == 2 and all(c in string.hexdigits for c in pair):
                    raw.append(int(pair, 16))
                    i += 3
                    continue
                raw += dn[i + 1].encode("utf-8")
                i += 2
                continue
            raw += ch.encode("utf-8")
            i += 1
        parts.append((rtype, raw.decode("utf-8")))
        i += 1
    return parts


def same_dn(a, b):
    try:
        pa, pb = split_dn(a), split_dn(b)
    except ValueError:
        return False
    return len(pa) == len(pb) and all(
        ta.lower() == tb.lower() and va.lower() == vb.lower() for (ta, va), (tb, vb) in zip(pa, pb))


def ldif_value(attr, value):
    """One LDIF line; values that are not plain safe ASCII travel base64-encoded."""
    raw = value if isinstance(value, bytes) else value.encode("utf-8")
    safe = (raw and all(0 < b < 0x80 and b not in (0x0A, 0x0D) for b in raw)
            and raw[0] not in b" :<" and raw[-1] != 0x20)
    if safe:
        return "%s: %s\n" % (attr, raw.decode("ascii"))
    return "%s:: %s\n" % (attr, base64.b64encode(raw).decode("ascii"))


def parse_ldif(text):
    """Entries of ldapsearch -LLL -o ldif-wrap=no output as dicts of lists (lower-case keys)."""
    entries = []
    for block in text.split("\n\n"):
        entry = {}
        for line in block.split("\n"):
            if not line or line.startswith("#"):
                continue
            if line.startswith(" "):
                raise SeedError("wrapped LDIF line; ldapsearch needs -o ldif-wrap=no")
            attr, sep, rest = line.partition(":")
            if not sep:
                continue
            if rest.startswith(":"):
                value = base64.b64decode(rest[1:].strip()).decode("utf-8", "replace")
            else:
                value = rest[1:] if rest.startswith(" ") else rest
            entry.setdefault(attr.lower(), []).append(value)
        if entry:
            entries.append(entry)
    return entries


# ---------------------------------------------------------------- the directory

def env(name):
    value = os.environ.get(name)
    if not value:
        raise SeedError("%s is not set; run this through testdc exec" % name)
    return value


def ldap_args():
    return ["-Q", "-Y", "GSSAPI", "-N", "-o", "nettimeout=10", "-H", "ldap://" + env("TESTDC_DC")]


def ldapmodify(ldif, what, add=False):
    cmd = ["ldapmodify"] + (["-a"] if add else []) + ldap_args()
    r = subprocess.run(cmd, input=ldif.encode("utf-8"), capture_output=True, timeout=3600)
    if r.returncode != 0:
        raise SeedError("%s failed (ldapmodify exit %d): %s" % (
            what, r.returncode, r.stderr.decode("utf-8", "replace").strip()))


def ldapsearch(base, scope, filt, attrs, show_deleted=False):
    cmd = ["ldapsearch", "-LLL", "-o", "ldif-wrap=no"] + ldap_args()
    if show_deleted:
        cmd += ["-E", "!" + SHOW_DELETED]
    cmd += ["-E", "pr=1000/noprompt", "-b", base, "-s", scope, filt] + attrs
    r = subprocess.run(cmd, capture_output=True, timeout=600)
    if r.returncode == 32:  # noSuchObject
        return []
    if r.returncode != 0:
        raise SeedError("search of %s failed (ldapsearch exit %d): %s" % (
            base, r.returncode, r.stderr.decode("utf-8", "replace").strip()))
    return [e for e in parse_ldif(r.stdout.decode("utf-8")) if "dn" in e]


def deleted_objects_dn():
    return "CN=Deleted Objects," + env("TESTDC_BASEDN")


def new_password():
    alphabet = string.ascii_letters + string.digits
    return "Sd-" + "".join(secrets.choice(alphabet) for _ in range(20)) + "-4k"


def unicode_pwd(password):
    return ('"%s"' % password).encode("utf-16-le")


# ---------------------------------------------------------------- facts

def read_facts(path):
    rows = []
    with open(path, encoding="utf-8", newline="") as f:
        lines = [line for line in f if not line.startswith("#") and line.strip("\r\n")]
    reader = csv.reader(lines, delimiter="\t", quoting=csv.QUOTE_NONE, strict=True)
    header = next(reader, None)
    if header != COLUMNS:
        raise SeedError("%s: header must be %s, not %s" % (path, "\\t".join(COLUMNS), header))
    keys = set()
    for n, fields in enumerate(reader, start=2):
        fields = [x.rstrip("\r\n") if i == len(COLUMNS) - 1 else x for i, x in enumerate(fields)]
        if len(fields) != len(COLUMNS):
            raise SeedError("%s: data line %d has %d fields, not %d" % (path, n, len(fields), len(COLUMNS)))
        row = dict(zip(COLUMNS, fields))
        if row["key"] in keys:
            raise SeedError("%s: duplicate key %s" % (path, row["key"]))
        keys.add(row["key"])
        row["flags"] = set() if row["flags"] == "-" else set(row["flags"].split(","))
        row["deleted"] = row["deleted"] == "1"
        row["parent_deleted"] = row["parent_deleted"] == "1"
        if row["rdn"] not in ("CN", "OU"):
            raise SeedError("%s: %s has RDN type %s" % (path, row["key"], row["rdn"]))
        rows.append(row)
    return rows


def dn_of(row, base):
    parent = base if row["parent"] == "-" else row["parent"] + "," + base
    return "%s=%s,%s" % (row["rdn"], escape_rdn_value(row["name"]), parent)


def parent_dn(row, base):
    return base if row["parent"] == "-" else row["parent"] + "," + base


def check_consistency(rows, base):
    """The deletion shape the file claims must be one that its own rows produce."""
    live_at_creation = {}
    for row in rows:
        pdn = parent_dn(row, base)
        parent = next((p for p in live_at_creation.values() if same_dn(dn_of(p, base), pdn)), None)
        if row["parent"] != "-" and parent is None and "recreated" not in row["flags"]:
            raise SeedError("%s: parent %s is not an earlier row" % (row["key"], pdn))
        if parent is not None and row["parent_deleted"] != parent["deleted"]:
            raise SeedError("%s: parent_deleted disagrees with its parent %s" % (row["key"], parent["key"]))
        if row["parent_deleted"] and not row["deleted"]:
            raise SeedError("%s: a child of a deleted container is deleted with it" % row["key"])
        if "recreated" not in row["flags"]:
            live_at_creation[row["key"]] = row


def entry_ldif(row, base, passwords):
    cls, name = row["class"], row["name"]
    out = ldif_value("dn", dn_of(row, base))
    out += "changetype: add\n"
    out += "objectClass: %s\n" % cls
    out += ldif_value(row["rdn"].lower(), name)
    out += ldif_value("description", "Seeded test object " + row["key"])
    if cls in USER_CLASSES or cls == "computer" or cls == "group":
        out += ldif_value("sAMAccountName", row["sam"])
    if cls in USER_CLASSES:
        password = new_password()
        passwords.append((row["sam"], password, "login" if "login" in row["flags"] else "user"))
        out += ldif_value("displayName", name)
        out += ldif_value("userPrincipalName", "%s@%s" % (row["sam"], env("TESTDC_DOMAIN")))
        out += ldif_value("unicodePwd", unicode_pwd(password))
        out += "userAccountControl: %d\n" % (514 if "disabled" in row["flags"] else 512)
        if cls == "inetOrgPerson":
            out += ldif_value("mail", "%s@%s" % (row["sam"], env("TESTDC_DOMAIN")))
    elif cls == "computer":
        host = row["sam"].rstrip("$").lower()
        out += "userAccountControl: 4096\n"
        out += ldif_value("dNSHostName", "%s.%s" % (host, env("TESTDC_DOMAIN")))
    elif cls == "group":
        out += "groupType: -2147483646\n"
    elif cls == "contact":
        out += ldif_value("displayName", name)
    return out + "\n"


def delete_ldif(dn):
    # The tree-delete control takes a container's children with it, so that their
    # lastKnownParent ends up naming the container's tombstone.
    return ldif_value("dn", dn) + "control: %s true\nchangetype: delete\n\n" % TREE_DELETE


def tombstone_name(entry):
    value = (entry.get("ou") or entry.get("cn") or [""])[-1]
    name, sep, guid = value.partition("\nDEL:")
    return (name, guid) if sep else (None, None)


def verify_seed(rows, base):
    tombstones = ldapsearch(deleted_objects_dn(), "one", "(objectClass=*)",
                            ["cn", "ou", "objectClass", "lastKnownParent", "isDeleted"], show_deleted=True)
    by_name = {}
    for t in tombstones:
        name, _ = tombstone_name(t)
        if name is not None:
            by_name.setdefault(name, []).append(t)
    problems = []
    for row in rows:
        dn = dn_of(row, base)
        if row["deleted"]:
            found = [t for t in by_name.get(row["name"], []) if t.get("objectclass", [""])[-1] == row["class"]]
            if len(found) != 1:
                problems.append("%s: %d tombstones named %r of class %s" % (
                    row["key"], len(found), row["name"], row["class"]))
                continue
            lkp = found[0].get("lastknownparent", [""])[-1]
            if row["parent_deleted"]:
                if "\\0ADEL:" not in lkp.upper():
                    problems.append("%s: lastKnownParent %r is not a deleted parent" % (row["key"], lkp))
            elif not same_dn(lkp, parent_dn(row, base)):
                problems.append("%s: lastKnownParent %r, expected %r" % (row["key"], lkp, parent_dn(row, base)))
        else:
            if len(ldapsearch(dn, "base", "(objectClass=*)", ["1.1"])) != 1:
                problems.append("%s: live object %s is missing" % (row["key"], dn))
    if problems:
        raise SeedError("the seeded domain differs from the facts file:\n  " + "\n  ".join(problems))
    return len(tombstones)


def seed(args):
    base = env("TESTDC_BASEDN")
    rows = read_facts(args.facts)
    check_consistency(rows, base)
    corp = next(r for r in rows if r["parent"] == "-")
    if ldapsearch(dn_of(corp, base), "base", "(objectClass=*)", ["1.1"]):
        raise SeedError("%s already exists: the domain was seeded before; use testdc reseed" % dn_of(corp, base))
    passwords = []
    first = [r for r in rows if "recreated" not in r["flags"]]
    ldapmodify("".join(entry_ldif(r, base, passwords) for r in first), "creating the seed objects")
    # Kept before the deletions so that testdc exec --user works even if a later step fails.
    with open(args.passwords, "a", encoding="utf-8") as f:
        for sam, password, role in passwords:
            f.write("%s\t%s\t%s\n" % (sam, password, role))
    roots = [r for r in rows if r["deleted"] and not r["parent_deleted"]]
    ldapmodify("".join(delete_ldif(dn_of(r, base)) for r in roots), "deleting the seed tombstones")
    passwords = []
    later = [r for r in rows if "recreated" in r["flags"]]
    if later:
        ldapmodify("".join(entry_ldif(r, base, passwords) for r in later), "recreating reused names")
        with open(args.passwords, "a", encoding="utf-8") as f:
            for sam, password, role in passwords:
                f.write("%s\t%s\t%s\n" % (sam, password, role))
    count = verify_seed(rows, base)
    print("seed: %d objects, %d of them tombstones; %d tombstones in the domain" % (
        len(rows), sum(r["deleted"] for r in rows), count))


def ordered_guid(number):
    """The GUID of bulk object number: its first eight bytes 0xff, then the number, big-endian,
    so that its stored bytes sort after every random GUID and after every earlier bulk one."""
    from samba.dcerpc import misc
    from samba.ndr import ndr_pack
    text = "ffffffff-ffff-ffff-%04x-%012x" % (number >> 48 & 0xffff, number & 0xffffffffffff)
    return ndr_pack(misc.GUID(text))


BULK_BATCH = 1000
# Of each batch: the first number names a container deleted with a tree delete, the next one
# a container inside it, and the last TEAM_SIZE numbers (those two included) lie below them.
TEAM_SIZE = 200


def bulk_ou_path(text):
    """The OU argument as escaped RDNs from the top down; only OU= components are taken."""
    try:
        parts = split_dn(text)
    except ValueError as e:
        raise SeedError("bad OU %r: %s" % (text, e))
    if not parts or any(t.lower() != "ou" or not v.strip() for t, v in parts):
        raise SeedError("the OU must be one or more OU= components, such as %r, not %r" % (BULK_OU, text))
    return ["OU=" + escape_rdn_value(v) for _, v in reversed(parts)]


def bulk_object(i, part, team, sub, group_members, domain):
    """The object of number i: a contact, a user with attributes (and membership of the
    batch's group) or a computer; the team's numbers (team is None when the team is not made
    in this run) make its two nested containers and put the objects below them."""
    slot = (i - 1) % BULK_BATCH
    guid = ordered_guid(i)
    if team and slot == BULK_BATCH - TEAM_SIZE:
        return {"dn": team, "objectClass": "organizationalUnit", "objectGUID": guid,
                "description": "Team of bulk batch %d" % ((i - 1) // BULK_BATCH)}
    if sub and slot == BULK_BATCH - TEAM_SIZE + 1:
        return {"dn": sub, "objectClass": "organizationalUnit", "objectGUID": guid,
                "description": "Nested container of a bulk team"}
    parent = part
    if team and slot > BULK_BATCH - TEAM_SIZE:
        parent = sub if sub and i % 2 == 0 else team
    dn = "CN=Bulk %07d,%s" % (i, parent)
    kind = i % 20
    if kind < 8:
        return {"dn": dn, "objectClass": "contact", "objectGUID": guid,
                "displayName": "Bulk Contact %d" % i, "mail": "contact%07d@%s" % (i, domain),
                "telephoneNumber": "+358 9 %07d" % i, "description": "Contact %d of testdc bulk" % i}
    if kind < 15:
        sam = "blku%07d" % i
        group_members.append(dn)
        return {"dn": dn, "objectClass": "user", "objectGUID": guid,
                "sAMAccountName": sam, "userPrincipalName": "%s@%s" % (sam, domain),
                "givenName": "Bulk", "sn": "User %07d" % i, "displayName": "Bulk User %d" % i,
                "mail": "%s@%s" % (sam, domain), "title": "Engineer %d" % (i % 7),
                "department": "Department %d" % (i % 13), "telephoneNumber": "+358 40 %07d" % i,
                "otherTelephone": ["+358 50 %07d" % i, "+358 45 %07d" % i],
                "userAccountControl": "514", "description": "User %d of testdc bulk" % i}
    sam = "BLKC%07d$" % i
    return {"dn": dn, "objectClass": "computer", "objectGUID": guid,
            "sAMAccountName": sam, "dNSHostName": "blkc%07d.%s" % (i, domain),
            "operatingSystem": "Linux", "operatingSystemVersion": "6.%d" % (i % 10),
            "userAccountControl": "4098", "description": "Computer %d of testdc bulk" % i}


def bulk_batch(chunk, end, ou, domain):
    """Numbers chunk up to end (all of one batch): its live container, its team (None when
    not made in this run), the objects, the group's members and the objects deleted one by
    one; the team goes as a tree."""
    batch = (chunk - 1) // BULK_BATCH
    part = "OU=Part %04d,%s" % (batch, ou)
    # A run that starts inside a batch whose team an earlier run made and deleted puts the
    # rest of that batch into the live container.
    team_number = batch * BULK_BATCH + BULK_BATCH - TEAM_SIZE + 1
    team = "OU=Team %04d,%s" % (batch, part) if chunk <= team_number < end else None
    sub = "OU=Nested,%s" % team if team and team_number + 1 < end else None
    members = []
    objects = [bulk_object(i, part, team, sub, members, domain) for i in range(chunk, end)]
    leaves = [o["dn"] for o in objects if not team or not (o["dn"] == team or o["dn"].endswith("," + team))]
    return part, team, objects, members, leaves


def write_count(path, value):
    if not path:
        return
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % value)
    os.replace(tmp, path)


def bulk(args):
    """N tombstones below an OU (OU=Bulk Tombstones unless named), written straight into the
    stopped DC's database, a thousand numbers to a batch. Each batch makes a live container
    (OU=Part NNNN) with a live group, contacts, users with attributes and membership of that
    group, and computers, deleted one by one; and a container with a nested one, holding
    contacts and users, deleted as a tree, so that children name a deleted parent.

    Every object the directory adds or deletes rewrites index lists that hold every
    tombstone (objectClass=top and the like), so one LDAP operation per object costs time
    in proportion to the tombstones already there, plus a synced commit each. Local
    transactions of a thousand objects leave only the first cost.

    Those index lists are sorted by GUID, and a random GUID lands in the middle of them:
    each insertion moves half of a list that holds every tombstone. The bulk objects get
    GUIDs above any random one, in the order they are made, so that each lands at the end;
    the directory takes a given GUID only with the relax control. Memberships go in with
    the group's add, one value list, rather than as a modify per user."""
    import ldb
    from samba.auth import system_session
    from samba.param import LoadParm
    from samba.samdb import SamDB

    lp = LoadParm()
    lp.load(args.smb_conf)
    db = SamDB(url=lp.private_path("sam.ldb"), session_info=system_session(), lp=lp)
    base = str(db.get_default_basedn())
    domain = lp.get("realm").lower()
    ou = base
    for rdn in bulk_ou_path(args.ou):
        ou = rdn + "," + ou
        try:
            db.add({"dn": ou, "objectClass": "organizationalUnit", "description": "Bulk tombstones of testdc bulk"})
        except ldb.LdbError as e:
            if e.args[0] != ldb.ERR_ENTRY_ALREADY_EXISTS:
                raise SeedError("creating %s: %s" % (ou, e.args[1]))
    started = time.monotonic()
    spent = {"adding": 0.0, "deleting": 0.0}
    last = args.first + args.count
    done = 0
    chunk = args.first
    while chunk < last:
        batch = (chunk - 1) // BULK_BATCH
        end = min((batch + 1) * BULK_BATCH + 1, last)
        part, team, objects, members, leaves = bulk_batch(chunk, end, ou, domain)
        step, dn = "adding", part
        tick = time.monotonic()
        db.transaction_start()
        try:
            # Looked up rather than tried: a failed add is no step to take inside a transaction.
            if not db.search(base=ou, scope=ldb.SCOPE_ONELEVEL, expression="(ou=Part %04d)" % batch, attrs=["1.1"]):
                db.add({"dn": part, "objectClass": "organizationalUnit",
                        "description": "Live container of bulk batch %d" % batch})
            for o in objects:
                dn = o["dn"]
                db.add(o, controls=["relax:0"])
            if members:
                dn = "CN=Bulk Group %07d,%s" % (chunk, part)
                db.add({"dn": dn, "objectClass": "group", "sAMAccountName": "blkg%07d" % chunk,
                        "groupType": "-2147483646", "member": members,
                        "description": "Group of bulk batch %d" % batch})
            adding = time.monotonic() - tick
            step, tick = "deleting", time.monotonic()
            for dn in leaves:
                db.delete(dn)
            if team:
                # Children first, deepest first, as a tree delete goes: the team's tombstone
                # then holds theirs below its mangled name through lastKnownParent.
                below = db.search(base=team, scope=ldb.SCOPE_SUBTREE, attrs=["1.1"])
                for dn in sorted((str(m.dn) for m in below), key=lambda d: -len(split_dn(d))):
                    db.delete(dn)
            db.transaction_commit()
        except ldb.LdbError as e:
            db.transaction_cancel()
            raise SeedError("%s %s: %s" % (step, dn, e.args[1]))
        spent["adding"] += adding
        spent["deleting"] += time.monotonic() - tick
        done = end - args.first
        write_count(args.count_file, end - 1)
        if done % 5000 < end - chunk or done == args.count:
            elapsed = time.monotonic() - started
            print("bulk: %d of %d after %.0f s (%.0f per second; adding %.0f s, deleting %.0f s)" % (
                done, args.count, elapsed, done / max(elapsed, 1e-6), spent["adding"], spent["deleting"]), flush=True)
        chunk = end
    elapsed = time.monotonic() - started
    print("bulk: %d tombstones below %s in %.1f s (%.0f per second)" % (
        args.count, ou, elapsed, args.count / max(elapsed, 1e-6)))


BULK_LIVE_OU = "OU=Bulk Live"


def bulk_live(args):
    """N more live contacts below OU=Bulk Live, in sub-OUs of 500, each with a few
    attributes of the kinds a backup writes (strings, several values, an integer), written
    straight into the DC's database like bulk."""
    import ldb
    from samba.auth import system_session
    from samba.param import LoadParm
    from samba.samdb import SamDB

    lp = LoadParm()
    lp.load(args.smb_conf)
    db = SamDB(url=lp.private_path("sam.ldb"), session_info=system_session(), lp=lp)
    top = BULK_LIVE_OU + "," + str(db.get_default_basedn())
    started = time.monotonic()
    last = args.first + args.count
    db.transaction_start()
    try:
        for i in range(args.first, last):
            part = "OU=Batch %03d,%s" % ((i - 1) // 500, top)
            for ou in ([top] if i == args.first else []) + ([part] if (i - 1) % 500 == 0 or i == args.first else []):
                try:
                    db.add({"dn": ou, "objectClass": "organizationalUnit", "description": "Live objects of testdc bulk-live"})
                except ldb.LdbError as e:
                    if e.args[0] != ldb.ERR_ENTRY_ALREADY_EXISTS:
                        raise SeedError("creating %s: %s" % (ou, e.args[1]))
            db.add({"dn": "CN=Live %07d,%s" % (i, part), "objectClass": "contact",
                    "description": "Contact %d of the backup benchmark" % i,
                    "mail": "live%07d@lumivel.test" % i, "telephoneNumber": "+358 9 %07d" % i,
                    "otherTelephone": ["+358 40 %07d" % i, "+358 50 %07d" % i], "internationalISDNNumber": str(i)})
            if (i - args.first + 1) % 1000 == 0:
                db.transaction_commit()
                db.transaction_start()
    except ldb.LdbError as e:
        db.transaction_cancel()
        raise SeedError("bulk-live: %s" % e.args[1])
    db.transaction_commit()
    print("bulk-live: %d objects in %.1f s" % (args.count, time.monotonic() - started))


def purge(args):
    """Removes one tombstone for good, as the end of its lifetime does in Active Directory:
    the tombstones of its children keep naming it as their last known parent (a phantom
    there; Samba would drop the reference, so it is written back). A restore of such a
    child must then find its parent in a backup."""
    import ldb
    from samba.auth import system_session
    from samba.param import LoadParm
    from samba.samdb import SamDB

    lp = LoadParm()
    lp.load(args.smb_conf)
    db = SamDB(url=lp.private_path("sam.ldb"), session_info=system_session(), lp=lp)
    deleted = "CN=Deleted Objects," + str(db.get_default_basedn())
    try:
        dn = ldb.Dn(db, args.dn)
    except ValueError as e:
        raise SeedError("not a DN: %s" % e)
    if dn.parent() is None or str(dn.parent()).lower() != deleted.lower():
        raise SeedError("%s is not in %s" % (args.dn, deleted))
    controls = ["relax:0", "show_recycled:1"]
    children = db.search(base=deleted, scope=ldb.SCOPE_ONELEVEL, expression="(lastKnownParent=*)",
                         attrs=["lastKnownParent"], controls=controls)
    orphans = [m.dn for m in children
               if "lastKnownParent" in m and any(same_dn(str(v), str(dn)) for v in m["lastKnownParent"])]
    try:
        db.delete(dn, controls)
        for orphan in orphans:
            m = ldb.Message()
            m.dn = orphan
            m["lastKnownParent"] = ldb.MessageElement([str(dn)], ldb.FLAG_MOD_REPLACE, "lastKnownParent")
            db.modify(m, controls)
    except ldb.LdbError as e:
        raise SeedError("purging %s: %s" % (args.dn, e.args[1]))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("seed")
    p.add_argument("--facts", required=True)
    p.add_argument("--passwords", required=True)
    p = sub.add_parser("bulk")
    p.add_argument("--count", type=int, required=True)
    p.add_argument("--first", type=int, default=1)
    p.add_argument("--ou", default=BULK_OU)
    p.add_argument("--count-file")
    p.add_argument("--smb-conf", required=True)
    p = sub.add_parser("bulk-live")
    p.add_argument("--count", type=int, required=True)
    p.add_argument("--first", type=int, default=1)
    p.add_argument("--smb-conf", required=True)
    p = sub.add_parser("purge")
    p.add_argument("--dn", required=True)
    p.add_argument("--smb-conf", required=True)
    p = sub.add_parser("check-facts")
    p.add_argument("--facts", required=True)
    args = parser.parse_args(argv[1:])
    try:
        if args.command == "seed":
            seed(args)
        elif args.command == "bulk":
            if not 0 < args.count <= 1000000 or args.first < 1:
                raise SeedError("bulk count must lie between 1 and 1000000")
            bulk(args)
        elif args.command == "bulk-live":
            if not 0 < args.count <= 1000000 or args.first < 1:
                raise SeedError("bulk-live count must lie between 1 and 1000000")
            bulk_live(args)
        elif args.command == "purge":
            purge(args)
        else:
            rows = read_facts(args.facts)
            check_consistency(rows, "DC=example,DC=test")
            print("%s: %d rows" % (args.facts, len(rows)))
    except (SeedError, subprocess.TimeoutExpired, OSError, ValueError) as e:
        print("seed_domain: %s" % e, file=sys.stderr)
        return 1
    except Exception as e:  # samba's bindings raise their own types
        print("seed_domain: %s: %s" % (type(e).__name__, e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
