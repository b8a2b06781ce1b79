#!/usr/bin/env python3
"""Simulated iPhone behind a usbmuxd socket: the multiplexer, lockdownd and the
contact sync service, in plain text (no SSL).

usage: iphonesim.py SOCKET SCENARIO.json LOG DUMP.json
stdin takes control lines "attach UDID" / "detach UDID", each answered "done <line>";
the simulator ends when stdin closes.
Prints "ready" once listening. Every received message is logged as "channel name json".

Scenario keys (all optional): devices [{udid, connection: USB|Network, attached}],
name, version, trust (trusted|pending|denied), locked, sync (ok|refuse|cancel), slow_ms (pause per written
batch), batch (records per batch), records {id: record}, generate (that many more contacts, "Gnnnnn", each
with one phone number), batches [{id: record}] (sent as given, instead of records), remap (none: confirm no
temporary id), dump (false: no dump after a session), exchange (wrongtypes: the version exchange names its
versions as text, then the phone never gets ready), link_version (the device-link major version the phone
announces; 300),
fault {at, kind: drop|garbage|wrongtype|disconnect|stall|wrongslot|deaf|noids|badremap|late|storedrop, after}:
wrongtype answers a text, disconnect says "DLMessageDisconnect" and hangs up a second later, stall never answers,
wrongslot puts a list where the batch's (or the remap's) dictionary belongs, deaf answers and then hears nothing, so
the computer's next message cannot go out. The last four meet a message of records once the phone has stored them:
noids answers the empty parameter instead of the new ids, badremap answers garbage and hangs up, late keeps the
answer until the session ends, storedrop hangs up without answering.
"at" names a request ("GetValue", "SDMessageProcessChanges", ...), "batchN" (N from 0) or "messageN": the
Nth message the contact sync service receives, counted over every session from 1 (the computer's goodbye
"DLMessageDisconnect" left out: it may come after the next session's first message). With "after" the first
that many matches pass and the fault meets the next one (after 2 at "SDMessageProcessChanges": the phone
confirms two messages of records, then the link drops).
Records are JSON; {"$date": ISO text} and {"$data": base64} stand for plist dates and data.
"""
import base64, datetime, json, os, plistlib, socket, struct, sys, threading, time

sock_path, scen_path, log_path, dump_path = sys.argv[1:5]
S = json.load(open(scen_path))
DEVICES = S.get('devices', [{'udid': '00008030-0011223344556677', 'connection': 'USB'}])
for i, d in enumerate(DEVICES):
    d.update(id=i + 1, attached=d.get('attached', True))
LOCK, LISTENERS, NEXT_ID = threading.Lock(), [], [1000]
LOCKDOWN_PORT, SYNC_PORT = 62078, 49200
# Any valid RSA key does: the library builds its pairing certificates from it.
DEVICE_KEY = b"""-----BEGIN RSA PUBLIC KEY-----
MIGJAoGBAMCejdvWyTI0UBB/xiVxX1oPeNQoXQMt2d/2Y7RUe9GBviOUdN9IiQ/y
Et9acTVlTg3wW98WdM/uPw6ZIo1C+Zm12HHI0/YQyWhtopQI2iztXrT3yymoaoin
ihMT/OWxSYyQxgCvWgTZOsHYL4wAignDK6x3YKNy4QN/PJka2F1nAgMBAAE=
-----END RSA PUBLIC KEY-----
"""


def to_json(v):
    if isinstance(v, (datetime.datetime, bytes)):
        return {'$date': v.strftime('%Y-%m-%dT%H:%M:%SZ')} if isinstance(v, datetime.datetime) \
            else {'$data': base64.b64encode(v).decode()}
    if isinstance(v, dict):
        return {k: to_json(x) for k, x in v.items()}
    return [to_json(x) for x in v] if isinstance(v, list) else v


def from_json(v):
    if isinstance(v, dict):
        if '$date' in v:
            return datetime.datetime.fromisoformat(v['$date'].rstrip('Z'))
        return base64.b64decode(v['$data']) if '$data' in v else {k: from_json(x) for k, x in v.items()}
    return [from_json(x) for x in v] if isinstance(v, list) else v


RECORDS = from_json(S.get('records', {}))
for i in range(S.get('generate', 0)):
    RECORDS[str(100000 + i)] = {'com.apple.syncservices.RecordEntityName': 'com.apple.contacts.Contact',
                                'last name': 'G%05d' % i}
    RECORDS['3/%d/%d' % (100000 + i, 500000 + i)] = {
        'com.apple.syncservices.RecordEntityName': 'com.apple.contacts.Phone Number',
        'value': '+1 555 %07d' % i, 'type': 'mobile', 'contact': [str(100000 + i)]}
MATCHES, SYNC_MESSAGES = {}, [0]


def log(channel, name, msg):
    with LOCK, open(log_path, 'a') as f:
        f.write('%s %s %s\n' % (channel, name, json.dumps(to_json(msg), sort_keys=True)))


def dump():
    """Replaces the dump whole, so that a test reading it meanwhile finds the last one or this one."""
    with LOCK:
        with open(dump_path + '.new', 'w') as f:
            json.dump(to_json(RECORDS), f, indent=1, sort_keys=True)
        os.replace(dump_path + '.new', dump_path)


class Closed(Exception):
    pass


def read_exact(c, n):
    buf = c.recv(n, socket.MSG_WAITALL)
    if len(buf) < n:
        raise Closed()
    return buf


def stall(c):
    """Never answers: waits until the computer hangs up."""
    while c.recv(4096):
        pass
    raise Closed()


def fault_at(at):
    """The scenario's fault kind when it meets this point (its "after" matches passed), else None."""
    f = S.get('fault', {})
    if f.get('at') != at:
        return None
    with LOCK:
        MATCHES[at] = MATCHES.get(at, 0) + 1
        return f['kind'] if MATCHES[at] > f.get('after', 0) else None


PLAYED_BY_CALLER = ('deaf', 'noids', 'badremap', 'late', 'storedrop')


def inject_fault(c, at, frame, kind=None):
    """Plays the scenario's fault at this point: answers garbage, a wrong type or the phone's goodbye, stays
    silent, or hangs up. A fault that meets the answer is returned for the caller to play."""
    kind = kind or fault_at(at)
    if kind in PLAYED_BY_CALLER:
        return kind
    if kind and kind != 'wrongslot':
        if kind == 'stall':
            stall(c)
        if kind not in ('drop', 'disconnect'):
            c.sendall(frame(b'\x00garbage\xff' * 3 if kind == 'garbage' else plistlib.dumps('wrong type')))
        if kind == 'disconnect':
            c.sendall(frame(plistlib.dumps(['DLMessageDisconnect', 'The phone ended the session'], fmt=plistlib.FMT_BINARY)))
            time.sleep(1)
        raise Closed()


# ---- usbmuxd: 16-byte little-endian header, XML plist body
def mux_send(c, tag, obj):
    body = plistlib.dumps(obj)
    c.sendall(struct.pack('<IIII', 16 + len(body), 1, 8, tag) + body)


def props(d):
    p = {'DeviceID': d['id'], 'SerialNumber': d['udid'], 'ConnectionType': d['connection']}
    if d['connection'] == 'USB':
        return dict(p, ProductID=0x12a8, LocationID=0x14100000)
    return dict(p, NetworkAddress=bytes([16, 2, 0, 0, 127, 0, 0, 1] + [0] * 8), InterfaceIndex=1,
                EscapedFullServiceName=d['udid'] + '._apple-mobdev2._tcp.local.')


def event(d, kind):
    msg = {'MessageType': kind, 'DeviceID': d['id'], 'Properties': props(d)}
    with LOCK:
        targets = list(LISTENERS)
    for c in targets:
        try:
            mux_send(c, 0, msg)
        except OSError:
            pass


def serve_mux(c):
    while True:
        length, _, _, tag = struct.unpack('<IIII', read_exact(c, 16))
        msg = plistlib.loads(read_exact(c, length - 16))
        kind, attached = msg.get('MessageType'), [d for d in DEVICES if d['attached']]
        if kind != 'Listen':  # logged before the answer, so a test that got one finds the other
            log('usbmux', kind, msg)
        reply = {'MessageType': 'Result', 'Number': 0}
        if kind == 'ListDevices':
            reply = {'DeviceList': [{'MessageType': 'Attached', 'DeviceID': d['id'], 'Properties': props(d)}
                                    for d in attached]}
        elif kind == 'ReadBUID':
            reply = {'BUID': 'SIM-BUID-0001'}
        elif kind == 'ReadPairRecord' and S.get('trust', 'trusted') == 'trusted':
            reply = {'PairRecordData': plistlib.dumps(dict(HostID='SIM-HOST-0001', SystemBUID='SIM-BUID-0001', **{
                k: b'-' for k in ('DeviceCertificate', 'HostCertificate', 'RootCertificate', 'HostPrivateKey',
                                  'RootPrivateKey')}))}
        elif kind == 'ReadPairRecord':
            reply['Number'] = 2  # no such record: the library pairs
        elif kind == 'Connect':
            port = ((msg['PortNumber'] & 0xff) << 8) | (msg['PortNumber'] >> 8)  # sent in network order
            ok = port in (LOCKDOWN_PORT, SYNC_PORT) and any(
                d['id'] == msg['DeviceID'] and d['connection'] == 'USB' for d in attached)
            reply['Number'] = 0 if ok else 3
        mux_send(c, tag, reply)
        if kind == 'Listen':  # logged once registered, so tests may send events right after
            with LOCK:
                LISTENERS.append(c)
            for d in attached:
                event(d, 'Attached')
            log('usbmux', kind, msg)
        if kind == 'Connect' and reply['Number'] == 0:
            return (serve_lockdown if port == LOCKDOWN_PORT else serve_sync)(c)


# ---- device services: 4-byte big-endian length, plist body
def frame(body):
    return struct.pack('>I', len(body)) + body


def svc_recv(c):
    return plistlib.loads(read_exact(c, struct.unpack('>I', read_exact(c, 4))[0]))


def svc_send(c, obj):
    c.sendall(frame(plistlib.dumps(obj, fmt=plistlib.FMT_BINARY)))


def serve_lockdown(c):
    values = {'DeviceName': S.get('name', 'Simulated iPhone'), 'ProductVersion': S.get('version', '15.4'),
              'ProductType': 'iPhone12,1', 'DeviceClass': 'iPhone', 'UniqueDeviceID': DEVICES[0]['udid'],
              'DevicePublicKey': DEVICE_KEY, 'WiFiAddress': '00:11:22:33:44:55'}
    trust = S.get('trust', 'trusted')
    errors = {'Pair': None if trust == 'trusted' else
              'PairingDialogResponsePending' if trust == 'pending' else 'UserDeniedPairing',
              'StartService': 'PasswordProtected' if S.get('locked') else None}
    while True:
        msg = svc_recv(c)
        req = msg.get('Request')
        log('lockdown', req, msg)
        inject_fault(c, req, frame)
        reply = {'Request': req, 'Result': 'Success'}
        if req == 'QueryType':
            reply['Type'] = 'com.apple.mobile.lockdown'
        elif req == 'GetValue':
            value = values.get(msg.get('Key'), values) if not msg.get('Domain') else values.get(msg.get('Key'))
            reply = dict(reply, Value=value) if value is not None else dict(reply, Result='Failure', Error='MissingValue')
        elif req == 'StartSession':
            reply.update(SessionID='SIM-SESSION', EnableSessionSSL=False)
        elif req == 'StartService':
            reply.update(Service=msg['Service'], Port=SYNC_PORT, EnableServiceSSL=False)
        if errors.get(req):
            reply = {'Request': req, 'Result': 'Failure', 'Error': errors[req]}
        svc_send(c, reply)


def serve_sync(c):
    """The contact sync service; what the phone holds is dumped however the session ends, so a test sees what
    it kept of a session cut short."""
    try:
        talk_sync(c)
    finally:
        if S.get('dump', True):  # benchmarks turn it off: a dump of a big phone takes longer than a session
            dump()
        log('sim', 'session-ended', len(RECORDS))


def talk_sync(c):
    wrong, major = S.get('exchange') == 'wrongtypes', S.get('link_version', 300)
    svc_send(c, ['DLMessageVersionExchange', str(major), '100'] if wrong else ['DLMessageVersionExchange', major, 100])
    batches, sent, dc, held = [], 0, 'com.apple.Contacts', []
    while True:
        msg = svc_recv(c)
        name = msg[0] if isinstance(msg, list) and msg else '?'
        log('sync', name, msg)
        played = None
        if name != 'DLMessageDisconnect':
            with LOCK:
                SYNC_MESSAGES[0] += 1
                number = SYNC_MESSAGES[0]
            played = inject_fault(c, 'message%d' % number, frame)
        played = inject_fault(c, name, frame) or played
        if played == 'deaf':
            c.shutdown(socket.SHUT_RD)  # on this socket the computer's next send fails at once
        if name in ('SDMessageFinishSessionOnDevice', 'DLMessageDisconnect'):
            for answer in held:  # too late: the computer has given up on them
                svc_send(c, answer)
            held = []
        if name == 'DLMessageVersionExchange':
            if wrong:
                stall(c)
            svc_send(c, ['DLMessageDeviceReady'])
        elif name == 'SDMessageSyncDataClassWithDevice':
            dc, mode = msg[1], S.get('sync', 'ok')
            svc_send(c, ['SDMessageRefuseToSyncDataClassWithComputer', dc, 'Contacts sync is turned off on the phone']
                     if mode == 'refuse' else ['SDMessageCancelSession', dc, 'The phone cancelled the session']
                     if mode == 'cancel' else ['SDMessageSyncDataClassWithComputer', dc, msg[2], msg[3], 'SDSyncTypeSlow', 106])
        elif name == 'SDMessageGetAllRecordsFromDevice' or (name == 'SDMessageAcknowledgeChangesFromDevice' and sent < len(batches)):
            if not batches and 'batches' in S:
                batches = [from_json(b) for b in S['batches']]
            if not batches:  # contacts first, so the computer knows every parent before its children
                ids, size = sorted(RECORDS, key=lambda k: (k.count('/'), k)), max(1, S.get('batch', 2))
                batches = [{k: RECORDS[k] for k in ids[i:i + size]} for i in range(0, len(ids), size)] or [{}]
            at = 'batch%d' % sent
            kind = fault_at(at)
            if kind == 'drop':
                c.shutdown(socket.SHUT_RD)  # so the computer's acknowledgement finds the link gone
            elif kind:
                inject_fault(c, at, frame, kind)
            svc_send(c, ['SDMessageProcessChanges', dc, list(batches[sent]) if kind == 'wrongslot' else batches[sent],
                         sent + 1 < len(batches),
                         {'SyncDeviceLinkEntityNamesKey': ['com.apple.contacts.Contact'],
                          'SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey': True}])
            sent += 1
            if kind and kind != 'wrongslot':
                raise Closed()
        elif name == 'SDMessageProcessChanges':
            time.sleep(S.get('slow_ms', 0) / 1000)  # a phone that takes its time lets a cancel land mid-transfer
            remap = {}
            for rid, rec in msg[2].items():
                if rec == '___EmptyParameterString___':
                    RECORDS.pop(rid, None)
                    continue
                if (rid.startswith('-') or '/-' in rid) and S.get('remap') != 'none':  # a temporary id
                    NEXT_ID[0] += 1
                    remap[rid] = str(NEXT_ID[0]) if rid.startswith('-') else '%s/%d' % (rid.split('/')[0], NEXT_ID[0])
                RECORDS[remap.get(rid, rid)] = rec
            wrongslot = S.get('fault') == {'at': 'SDMessageProcessChanges', 'kind': 'wrongslot'}
            answer = ['SDMessageRemapRecordIdentifiers', dc, list(remap) if wrongslot else remap or '___EmptyParameterString___']
            if played == 'storedrop':
                raise Closed()
            if played == 'badremap':
                inject_fault(c, name, frame, 'garbage')
            elif played == 'late':
                held.append(answer)
            else:
                svc_send(c, answer[:2] + ['___EmptyParameterString___'] if played == 'noids' else answer)
        elif name == 'SDMessageFinishSessionOnDevice':
            if S.get('dump', True):
                dump()
            svc_send(c, ['SDMessageDeviceFinishedSession', dc])
        elif name == 'DLMessageDisconnect':
            return


def handle(c):
    try:
        serve_mux(c)
    except Exception as e:  # hang-ups (Closed) and malformed messages alike end the connection
        log('sim', 'ended', repr(e))
    finally:
        with LOCK:
            if c in LISTENERS:
                LISTENERS.remove(c)
        c.close()


def control():
    for line in sys.stdin:
        words = line.split()
        for d in DEVICES:
            if len(words) == 2 and d['udid'] == words[1] and words[0] in ('attach', 'detach'):
                d['attached'] = words[0] == 'attach'
                event(d, 'Attached' if d['attached'] else 'Detached')
        print('done', line.strip(), flush=True)
    os._exit(0)  # the test that started us is gone


if os.path.exists(sock_path):
    os.unlink(sock_path)
srv = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
srv.bind(sock_path)
srv.listen(16)
dump()
threading.Thread(target=control, daemon=True).start()
print('ready', flush=True)
while True:
    threading.Thread(target=handle, args=(srv.accept()[0],), daemon=True).start()
