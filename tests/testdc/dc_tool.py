#!/usr/bin/python3
"""What testdc does with the domain controllers of a two-DC test domain.

    dc_tool.py register --smb-conf DC_SMB_CONF --ip 127.0.0.2 --partner dc1.lumivel.test --priority 10
    dc_tool.py replicate --dcs dc1.lumivel.test dc2.lumivel.test --base-dn DC=lumivel,DC=test
                         [--into dc2.lumivel.test] [--dns-only]
    dc_tool.py inbound --dc dc1.lumivel.test --disable | --enable
    dc_tool.py site --smb-conf DC_SMB_CONF --partner dc1.lumivel.test --site Second-Site --subnet 127.0.0.0/8
    dc_tool.py site --smb-conf DC_SMB_CONF --partner dc1.lumivel.test --home

register: a joined DC's A record, the CNAME by which its replication partners find it, the SRV
records of the locator, the KDC and the global catalog, and its LDAP service names, all
written on the partner DC. Samba registers a DC in DNS itself only for addresses that are not
loopback ones, and a test DC has no other; it adds the LDAP service names only minutes after
its start. The partner must know the new DC's name before it can pull anything from it, and
clients ask it first. The SRV records
get the priority given, so that a test domain can prefer its first DC (as an administrator
does with a DC's locator priority) and serverless binds stay predictable until that DC is
stopped. A record that exists already is left as it is.

replicate: every naming context (or the DNS zones' only) pulled by each DC (or the one named)
from each other one, now, also where a DC holds its inbound replication.

inbound: a DC stops or resumes taking changes from its partners (the DC's
DISABLE_INBOUND_REPL option), so that a test can see the other DC's change not arrive.

site: the DC of DC_SMB_CONF moves into a site of its own, which the site link joins to the
others, with a subnet that holds the clients' addresses, as an administrator sets up a branch
office: its server object moves, and its site's SRV records follow it. With --home it moves
back into the partner's site, and the site and subnet go again. Both are written on the
partner, which then replicates.

Runs as the domain's administrator (its Kerberos ticket) inside the test namespace.
"""
import argparse
import io
import sys

import ldb

from samba import werror, WERRORError
from samba.auth import system_session
from samba.credentials import Credentials, MUST_USE_KERBEROS
from samba.dcerpc import dnsserver, misc
from samba.dnsserver import record_from_string
from samba.ndr import ndr_unpack
from samba.param import LoadParm
from samba.samdb import SamDB

SERVICES = [
    # (name below the domain, port, whether only a global catalog offers it)
    ("_ldap._tcp", 389, False),
    ("_ldap._tcp.dc._msdcs", 389, False),
    ("_ldap._tcp.{site}._sites", 389, False),
    ("_ldap._tcp.{site}._sites.dc._msdcs", 389, False),
    ("_ldap._tcp.{domain_guid}.domains._msdcs", 389, False),
    ("_kerberos._tcp", 88, False),
    ("_kerberos._udp", 88, False),
    ("_kerberos._tcp.dc._msdcs", 88, False),
    ("_kerberos._tcp.{site}._sites", 88, False),
    ("_kerberos._tcp.{site}._sites.dc._msdcs", 88, False),
    ("_kpasswd._tcp", 464, False),
    ("_kpasswd._udp", 464, False),
    ("_gc._tcp", 3268, True),
    ("_ldap._tcp.gc._msdcs", 3268, True),
    ("_gc._tcp.{site}._sites", 3268, True),
    ("_ldap._tcp.{site}._sites.gc._msdcs", 3268, True),
]

NAMING_CONTEXTS = ["{base}", "CN=Configuration,{base}", "CN=Schema,CN=Configuration,{base}",
                   "DC=DomainDnsZones,{base}", "DC=ForestDnsZones,{base}"]


class ToolError(Exception):
    pass


def admin_credentials(lp):
    creds = Credentials()
    creds.guess(lp)
    creds.set_kerberos_state(MUST_USE_KERBEROS)
    return creds


def zone_and_name(fqdn, domain):
    """The zone a name lives in (the forest's _msdcs zone or the domain's) and its name there."""
    for zone in ("_msdcs." + domain, domain):
        if fqdn == zone:
            return zone, "@"
        if fqdn.endswith("." + zone):
            return zone, fqdn[:-len(zone) - 1]
    raise ToolError("%s lies outside %s" % (fqdn, domain))


def guid_of(db, dn):
    value = db.searchone("objectGUID", dn, scope=0)
    # The local database hands the GUID out as text, a remote one as its 16 bytes.
    return str(ndr_unpack(misc.GUID, value)) if len(value) == 16 else value.decode()


def add_ldap_service_names(lp, partner, db, service):
    """The joined DC's LDAP service names, on the partner DC."""
    domain = lp.get("realm").lower()
    netbios = lp.get("netbios name").upper()
    workgroup = lp.get("workgroup").upper()
    fqdn = netbios.lower() + "." + domain
    wanted = ["ldap/" + fqdn, "ldap/%s/%s" % (fqdn, workgroup), "ldap/%s/%s" % (fqdn, domain),
              "ldap/" + netbios, "ldap/%s._msdcs.%s" % (guid_of(db, service), domain),
              "ldap/%s/DomainDnsZones.%s" % (fqdn, domain), "ldap/%s/ForestDnsZones.%s" % (fqdn, domain),
              "RestrictedKrbHost/" + netbios, "RestrictedKrbHost/" + fqdn]
    remote = SamDB(url="ldap://" + partner, credentials=admin_credentials(lp), lp=lp)
    found = remote.search(base=str(remote.get_default_basedn()), scope=ldb.SCOPE_SUBTREE,
                          expression="(sAMAccountName=%s$)" % ldb.binary_encode(netbios),
                          attrs=["servicePrincipalName"])
    if len(found) != 1:
        raise ToolError("no account %s$ on %s" % (netbios, partner))
    have = {str(v).lower() for v in found[0].get("servicePrincipalName", [])}
    missing = [spn for spn in wanted if spn.lower() not in have]
    if missing:
        msg = ldb.Message(found[0].dn)
        msg["servicePrincipalName"] = ldb.MessageElement(missing, ldb.FLAG_MOD_ADD, "servicePrincipalName")
        remote.modify(msg)
    return len(missing)


def register(args):
    lp = LoadParm()
    lp.load(args.smb_conf)
    db = SamDB(url=lp.private_path("sam.ldb"), session_info=system_session(), lp=lp)
    domain = lp.get("realm").lower()
    host = lp.get("netbios name").lower() + "." + domain
    service = db.get_dsServiceName()
    site = db.server_site_name()
    is_gc = bool(int(db.searchone("options", service, scope=0) or 0) & 1)

    records = [("A", host, args.ip), ("CNAME", guid_of(db, service) + "._msdcs." + domain, host)]
    for name, port, gc_only in SERVICES:
        if gc_only and not is_gc:
            continue
        fqdn = name.format(site=site, domain_guid=guid_of(db, db.get_default_basedn())) + "." + domain
        records.append(("SRV", fqdn, "%s %d %d 100" % (host, port, args.priority)))

    conn = dnsserver.dnsserver("ncacn_ip_tcp:%s[sign]" % args.partner, lp, admin_credentials(lp))
    added = 0
    for rtype, fqdn, data in records:
        zone, name = zone_and_name(fqdn.lower(), domain)
        buf = dnsserver.DNS_RPC_RECORD_BUF()
        buf.rec = record_from_string(rtype, data)
        try:
            conn.DnssrvUpdateRecord2(dnsserver.DNS_CLIENT_VERSION_LONGHORN, 0, args.partner, zone, name, buf, None)
            added += 1
        except WERRORError as e:
            if e.args[0] != werror.WERR_DNS_ERROR_RECORD_ALREADY_EXISTS:
                raise ToolError("%s %s %s: %s" % (rtype, fqdn, data, e.args[1]))
    names = add_ldap_service_names(lp, args.partner, db, service)
    print("dc_tool: %d of %d DNS records and %d service names added for %s" % (added, len(records), names, host))


def site_dn(db, site):
    return "CN=%s,CN=Sites,%s" % (site, db.get_config_basedn())


def site_records(host, domain, site, domain_guid, is_gc, priority):
    """The SRV records of a DC that name its site."""
    records = []
    for name, port, gc_only in SERVICES:
        if "{site}" not in name or (gc_only and not is_gc):
            continue
        fqdn = name.format(site=site, domain_guid=domain_guid) + "." + domain
        records.append(("SRV", fqdn, "%s %d %d 100" % (host, port, priority)))
    return records


def update_records(conn, partner, domain, records, add):
    for rtype, fqdn, data in records:
        zone, name = zone_and_name(fqdn.lower(), domain)
        buf = dnsserver.DNS_RPC_RECORD_BUF()
        buf.rec = record_from_string(rtype, data)
        try:
            conn.DnssrvUpdateRecord2(dnsserver.DNS_CLIENT_VERSION_LONGHORN, 0, partner, zone, name,
                                     buf if add else None, None if add else buf)
        except WERRORError as e:
            # Adding what is there, or removing what is gone, leaves the zone as wanted.
            if e.args[0] not in (werror.WERR_DNS_ERROR_RECORD_ALREADY_EXISTS, werror.WERR_DNS_ERROR_RECORD_DOES_NOT_EXIST,
                                 werror.WERR_DNS_ERROR_NAME_DOES_NOT_EXIST):
                raise ToolError("%s %s %s: %s" % (rtype, fqdn, data, e.args[1]))


def site(args):
    from samba import sites, subnets
    lp = LoadParm()
    lp.load(args.smb_conf)
    domain = lp.get("realm").lower()
    netbios = lp.get("netbios name").upper()
    host = netbios.lower() + "." + domain
    remote = SamDB(url="ldap://" + args.partner, credentials=admin_credentials(lp), lp=lp)
    config = remote.get_config_basedn()
    home = remote.server_site_name()
    found = remote.search(base=str(config), scope=ldb.SCOPE_SUBTREE,
                          expression="(&(objectClass=server)(cn=%s))" % ldb.binary_encode(netbios), attrs=["cn"])
    if len(found) != 1:
        raise ToolError("no server object of %s in %s" % (netbios, config))
    server = found[0].dn
    current = server.parent().parent().get_rdn_value()
    wanted = home if args.home else args.site
    service = "CN=NTDS Settings," + str(server)
    is_gc = bool(int(remote.searchone("options", service, scope=0) or 0) & 1)
    domain_guid = guid_of(remote, remote.get_default_basedn())
    priority = args.priority
    link = "CN=DEFAULTIPSITELINK,CN=IP,CN=Inter-Site Transports,CN=Sites,%s" % config
    if not args.home:
        try:
            sites.create_site(remote, config, wanted)
        except sites.SiteAlreadyExistsException:
            pass
        have = {str(v).lower() for v in remote.search(base=link, scope=0, attrs=["siteList"])[0].get("siteList", [])}
        if site_dn(remote, wanted).lower() not in have:
            msg = ldb.Message(ldb.Dn(remote, link))
            msg["siteList"] = ldb.MessageElement(site_dn(remote, wanted), ldb.FLAG_MOD_ADD, "siteList")
            remote.modify(msg)
        try:
            subnets.create_subnet(remote, config, args.subnet, wanted)
        except subnets.SubnetAlreadyExists:
            pass
    conn = dnsserver.dnsserver("ncacn_ip_tcp:%s[sign]" % args.partner, lp, admin_credentials(lp))
    if current.lower() != wanted.lower():
        remote.rename(server, ldb.Dn(remote, "CN=%s,CN=Servers,%s" % (netbios, site_dn(remote, wanted))))
    update_records(conn, args.partner, domain, site_records(host, domain, wanted, domain_guid, is_gc, priority), True)
    # The records of every other site this DC was in go.
    for other in remote.search(base="CN=Sites,%s" % config, scope=ldb.SCOPE_ONELEVEL, expression="(objectClass=site)",
                               attrs=["cn"]):
        name = str(other["cn"][0])
        if name.lower() != wanted.lower():
            update_records(conn, args.partner, domain, site_records(host, domain, name, domain_guid, is_gc, priority), False)
    if args.home:
        for other in remote.search(base="CN=Subnets,CN=Sites,%s" % config, scope=ldb.SCOPE_ONELEVEL,
                                   expression="(objectClass=subnet)", attrs=["cn", "siteObject"]):
            if str(other.get("siteObject", [""])[0]).lower() != site_dn(remote, home).lower():
                remote.delete(other.dn)
        for other in remote.search(base="CN=Sites,%s" % config, scope=ldb.SCOPE_ONELEVEL, expression="(objectClass=site)",
                                   attrs=["cn"]):
            name = str(other["cn"][0])
            if name.lower() == home.lower():
                continue
            have = {str(v).lower() for v in remote.search(base=link, scope=0, attrs=["siteList"])[0].get("siteList", [])}
            if str(other.dn).lower() in have:
                msg = ldb.Message(ldb.Dn(remote, link))
                msg["siteList"] = ldb.MessageElement(str(other.dn), ldb.FLAG_MOD_DELETE, "siteList")
                remote.modify(msg)
            try:
                sites.delete_site(remote, config, name)
            except sites.SiteServerNotEmptyException:
                print("dc_tool: site %s still holds servers; it stays" % name, file=sys.stderr)
    print("dc_tool: %s is in site %s%s" % (host, wanted, "" if args.home else " with the subnet " + args.subnet))


def drs(lp, *words):
    """One samba-tool drs command in this process, its output kept for an error report."""
    from samba.netcmd import CommandError
    from samba.netcmd.drs import cmd_drs
    cmd = cmd_drs()
    cmd.outf = io.StringIO()
    cmd.errf = io.StringIO()
    try:
        result = cmd._run("drs", *words, "--use-kerberos=required")
    except CommandError as e:
        raise ToolError("samba-tool drs %s: %s" % (" ".join(words), e))
    if result not in (None, 0):
        raise ToolError("samba-tool drs %s failed: %s" % (" ".join(words), cmd.errf.getvalue().strip()))


def replicate(args):
    lp = LoadParm()
    checked = set()
    contexts = [nc for nc in NAMING_CONTEXTS if "DnsZones" in nc] if args.dns_only else NAMING_CONTEXTS
    for nc in contexts:
        nc = nc.format(base=args.base_dn)
        for destination in [args.into] if args.into else args.dcs:
            for source in args.dcs:
                if source == destination:
                    continue
                try:
                    drs(lp, "replicate", destination, source, nc, "--sync-forced")
                except ToolError:
                    if destination in checked:
                        raise
                    # A DC learns of a new partner from its consistency checker, which runs
                    # only every few minutes: have it run now, and try once more.
                    checked.add(destination)
                    try:
                        drs(lp, "kcc", destination)
                    except ToolError as e:
                        print("dc_tool: %s" % e, file=sys.stderr)
                    drs(lp, "replicate", destination, source, nc, "--sync-forced")
    print("dc_tool: %d naming contexts replicated between %s" % (len(contexts), " and ".join(args.dcs)))


def inbound(args):
    drs(LoadParm(), "options", args.dc, "--dsa-option=%sDISABLE_INBOUND_REPL" % ("+" if args.disable else "-"))


def main(argv):
    p = argparse.ArgumentParser()
    sub = p.add_subparsers(dest="command", required=True)
    r = sub.add_parser("register")
    r.add_argument("--smb-conf", required=True)
    r.add_argument("--ip", required=True)
    r.add_argument("--priority", type=int, default=0)
    r.add_argument("--partner", required=True, help="the DC to write to, by name (Kerberos)")
    c = sub.add_parser("replicate")
    c.add_argument("--dcs", nargs="+", required=True)
    c.add_argument("--base-dn", required=True)
    c.add_argument("--into", help="only this DC pulls")
    c.add_argument("--dns-only", action="store_true", help="only the DNS zones' naming contexts")
    i = sub.add_parser("inbound")
    i.add_argument("--dc", required=True)
    g = i.add_mutually_exclusive_group(required=True)
    g.add_argument("--disable", action="store_true")
    g.add_argument("--enable", action="store_true")
    t = sub.add_parser("site")
    t.add_argument("--smb-conf", required=True, help="the smb.conf of the DC that moves")
    t.add_argument("--partner", required=True, help="the DC to write to, by name (Kerberos)")
    t.add_argument("--priority", type=int, default=0, help="of the DC's SRV records")
    w = t.add_mutually_exclusive_group(required=True)
    w.add_argument("--site")
    w.add_argument("--home", action="store_true", help="back into the partner's site")
    t.add_argument("--subnet", default="127.0.0.0/8")
    args = p.parse_args(argv[1:])
    try:
        {"register": register, "replicate": replicate, "inbound": inbound, "site": site}[args.command](args)
    except (ToolError, WERRORError, RuntimeError, ldb.LdbError) as e:
        print("dc_tool: %s" % (e,), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
