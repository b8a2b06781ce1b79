#!/usr/bin/env python3
"""Simulated iPhone behind a usbmuxd socket: the multiplexer, lockdownd and the
contact sync service, in plain text (no SSL).

usage: iphonesim.py SOCKET SCENARIO.json LOG DUMP.json
stdin takes control lines: "attach UDID", "detach UDID".  Prints "ready" once listening.

Scenario keys (all optional): devices [{udid, connection: USB|Network, attached}],
name, version, trust (trusted|pending|denied), locked, sync (ok|refuse|cancel),
batch (records per batch), records {id: record}, fault {at, kind: drop|garbage|wrongtype}.
"at" names a request ("GetValue", "SDMessageProcessChanges", ...) or "batchN" (N from 0).
Records are JSON; {"$date": ISO text} and {"$data": base64} stand for plist dates and data.
"""
import base64, datetime, json, os, plistlib, socket, struct, sys, threading

sock_path, scen_path, log_path, dump_path = sys.argv[1:5]
S = json.load(open(scen_path))
DEVICES = S.get('devices', [{'udid': '00008030-0011223344556677', 'connection': 'USB'}])
for i, d in enumerate(DEVICES):
    d['id'] = i + 1
    d.setdefault('attached', True)
FAULT = S.get('fault', {})
LOCK = threading.Lock()
LISTENERS = []
LOCKDOWN_PORT, SYNC_PORT = 62078, 49200
DEVICE_KEY = b"""-----BEGIN RSA PUBLIC KEY-----
MIGJAoGBAMCejdvWyTI0UBB/xiVxX1oPeNQoXQMt2d/2Y7RUe9GBviOUdN9IiQ/y
Et9acTVlTg3wW98WdM/uPw6ZIo1C+Zm12HHI0/YQyWhtopQI2iztXrT3yymoaoin
ihMT/OWxSYyQxgCvWgTZOsHYL4wAignDK6x3YKNy4QN/PJka2F1nAgMBAAE=
-----END RSA PUBLIC KEY-----
"""


def from_json(v):
    if isinstance(v, dict):
        if '$date' in v:
            return datetime.datetime.fromisoformat(v['$date'].replace('Z', ''))
        if '$data' in v:
            return base64.b64decode(v['$data'])
        return {k: from_json(x) for k, x in v.items()}
    return [from_json(x) for x in v] if isinstance(v, list) else v


def to_json(v):
    if isinstance(v, datetime.datetime):
        return {'$date': v.strftime('%Y-%m-%dT%H:%M:%SZ')}
    if isinstance(v, bytes):
        return {'$data': base64.b64encode(v).decode()}
    if isinstance(v, dict):
        return {k: to_json(x) for k, x in v.items()}
    return [to_json(x) for x in v] if isinstance(v, list) else v


RECORDS = from_json(S.get('records', {}))
NEXT_ID = [1000]


def log(channel, name, msg):
    with LOCK, open(log_path, 'a') as f:
        f.write('%s %s %s\n' % (channel, name, json.dumps(to_json(msg), sort_keys=True)))


def dump():
    with LOCK, open(dump_path, 'w') as f:
        json.dump(to_json(RECORDS), f, indent=1, sort_keys=True)


class Closed(Exception):
    pass


def read_exact(c, n):
    buf = b''
    while len(buf) < n:
        part = c.recv(n - len(buf))
        if not part:
            raise Closed()
        buf += part
    return buf


def fault(at):
    """The fault kind when the scenario puts one at this point, else None."""
    return FAULT.get('kind') if FAULT.get('at') == at else None


def send_faulty(c, kind, frame):
    if kind == 'drop':
        raise Closed()
    body = b'\x00garbage\xff' * 3 if kind == 'garbage' else plistlib.dumps('wrong type', fmt=plistlib.FMT_BINARY)
    c.sendall(frame(body))
    raise Closed()


# ---- usbmuxd: 16-byte little-endian header, XML plist body
def mux_send(c, tag, obj):
    body = plistlib.dumps(obj)
    c.sendall(struct.pack('<IIII', 16 + len(body), 1, 8, tag) + body)


def props(d):
    p = {'DeviceID': d['id'], 'SerialNumber': d['udid'], 'ConnectionType': d['connection']}
    if d['connection'] == 'USB':
        p.update(ProductID=0x12a8, LocationID=0x14100000, ConnectionSpeed=480000000)
    else:
        p.update(NetworkAddress=bytes([16, 2, 0, 0, 127, 0, 0, 1]) + bytes(8),
                 EscapedFullServiceName=d['udid'] + '._apple-mobdev2._tcp.local.', InterfaceIndex=1)
    return p


def event(d, kind):
    msg = {'MessageType': kind, 'DeviceID': d['id']}
    if kind == 'Attached':
        msg['Properties'] = props(d)
    with LOCK:
        targets = list(LISTENERS)
    for c in targets:
        try:
            mux_send(c, 0, msg)
        except OSError:
            pass


def pair_record(udid):
    return {'HostID': 'SIM-HOST-0001', 'SystemBUID': 'SIM-BUID-0001', 'WiFiMACAddress': '00:11:22:33:44:55',
            'DeviceCertificate': b'-', 'HostCertificate': b'-', 'RootCertificate': b'-',
            'HostPrivateKey': b'-', 'RootPrivateKey': b'-'}


def serve_mux(c):
    while True:
        length, _, _, tag = struct.unpack('<IIII', read_exact(c, 16))
        msg = plistlib.loads(read_exact(c, length - 16))
        kind = msg.get('MessageType')
        if kind != 'Listen':
            log('usbmux', kind, msg)
        attached = [d for d in DEVICES if d['attached']]
        if kind == 'ListDevices':
            mux_send(c, tag, {'DeviceList': [{'MessageType': 'Attached', 'DeviceID': d['id'], 'Properties': props(d)}
                                             for d in attached]})
        elif kind == 'Listen':
            mux_send(c, tag, {'MessageType': 'Result', 'Number': 0})
            with LOCK:
                LISTENERS.append(c)
            log('usbmux', kind, msg)
            for d in attached:
                event(d, 'Attached')
        elif kind == 'ReadBUID':
            mux_send(c, tag, {'BUID': 'SIM-BUID-0001'})
        elif kind == 'ReadPairRecord':
            if S.get('trust', 'trusted') == 'trusted':
                mux_send(c, tag, {'PairRecordData': plistlib.dumps(pair_record(msg.get('PairRecordID')))})
            else:
                mux_send(c, tag, {'MessageType': 'Result', 'Number': 2})
        elif kind == 'Connect':
            p = msg.get('PortNumber', 0)
            port = ((p & 0xff) << 8) | (p >> 8)
            dev = [d for d in attached if d['id'] == msg.get('DeviceID') and d['connection'] == 'USB']
            ok = dev and port in (LOCKDOWN_PORT, SYNC_PORT)
            mux_send(c, tag, {'MessageType': 'Result', 'Number': 0 if ok else 3})
            if ok:
                return (serve_lockdown if port == LOCKDOWN_PORT else serve_sync)(c)
        else:
            mux_send(c, tag, {'MessageType': 'Result', 'Number': 0})


# ---- device services: 4-byte big-endian length, plist body
def frame(body):
    return struct.pack('>I', len(body)) + body


def svc_recv(c):
    (n,) = struct.unpack('>I', read_exact(c, 4))
    return plistlib.loads(read_exact(c, n))


def svc_send(c, obj, binary=False):
    c.sendall(frame(plistlib.dumps(obj, fmt=plistlib.FMT_BINARY if binary else plistlib.FMT_XML)))


def lockdown_values():
    return {'DeviceName': S.get('name', 'Simulated iPhone'), 'ProductVersion': S.get('version', '15.4'),
            'ProductType': 'iPhone12,1', 'DeviceClass': 'iPhone', 'UniqueDeviceID': DEVICES[0]['udid'],
            'DevicePublicKey': DEVICE_KEY, 'WiFiAddress': '00:11:22:33:44:55', 'BuildVersion': '19E241'}


def serve_lockdown(c):
    settings = {}
    while True:
        msg = svc_recv(c)
        req = msg.get('Request')
        log('lockdown', req, msg)
        kind = fault(req)
        if kind:
            send_faulty(c, kind, frame)
        reply = {'Request': req, 'Result': 'Success'}
        if req == 'QueryType':
            reply['Type'] = 'com.apple.mobile.lockdown'
        elif req == 'GetValue':
            values = lockdown_values()
            dom, key = msg.get('Domain'), msg.get('Key')
            value = settings.get((dom, key)) if dom else (values.get(key) if key else values)
            if value is None:
                reply = {'Request': req, 'Result': 'Failure', 'Error': 'MissingValue'}
            else:
                reply['Value'] = value
        elif req == 'SetValue':
            settings[(msg.get('Domain'), msg.get('Key'))] = msg.get('Value')
        elif req == 'Pair':
            trust = S.get('trust', 'trusted')
            if trust != 'trusted':
                reply = {'Request': req, 'Result': 'Failure',
                         'Error': 'PairingDialogResponsePending' if trust == 'pending' else 'UserDeniedPairing'}
        elif req == 'StartSession':
            reply.update(SessionID='SIM-SESSION', EnableSessionSSL=False)
        elif req == 'StartService':
            if S.get('locked'):
                reply = {'Request': req, 'Result': 'Failure', 'Error': 'PasswordProtected'}
            elif msg.get('Service') != 'com.apple.mobilesync':
                reply = {'Request': req, 'Result': 'Failure', 'Error': 'InvalidService'}
            else:
                reply.update(Service=msg['Service'], Port=SYNC_PORT, EnableServiceSSL=False)
        svc_send(c, reply)


def is_temporary(rid):
    return rid.startswith('-') or '/-' in rid


def serve_sync(c):
    svc_send(c, ['DLMessageVersionExchange', 300, 100], True)
    batches, sent = [], [0]
    dc = 'com.apple.Contacts'

    def send_batch():
        i = sent[0]
        msg = ['SDMessageProcessChanges', dc, batches[i], i + 1 < len(batches),
               {'SyncDeviceLinkEntityNamesKey': ['com.apple.contacts.Contact'],
                'SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey': True}]
        kind = fault('batch%d' % i)
        if kind and kind != 'drop':
            send_faulty(c, kind, frame)
        if kind:  # the computer's next send (the acknowledgement) must find the link gone
            c.shutdown(socket.SHUT_RD)
        svc_send(c, msg, True)
        sent[0] += 1
        if kind:
            raise Closed()

    while True:
        msg = svc_recv(c)
        name = msg[0] if isinstance(msg, list) and msg else '?'
        log('sync', name, msg)
        kind = fault(name)
        if kind:
            send_faulty(c, kind, frame)
        if name == 'DLMessageVersionExchange':
            svc_send(c, ['DLMessageDeviceReady'], True)
        elif name == 'SDMessageSyncDataClassWithDevice':
            dc = msg[1]
            mode = S.get('sync', 'ok')
            if mode == 'refuse':
                svc_send(c, ['SDMessageRefuseToSyncDataClassWithComputer', dc, 'Contacts sync is turned off on the phone'], True)
            elif mode == 'cancel':
                svc_send(c, ['SDMessageCancelSession', dc, 'The phone cancelled the session'], True)
            else:
                svc_send(c, ['SDMessageSyncDataClassWithComputer', dc, msg[2], msg[3], 'SDSyncTypeSlow', 106], True)
        elif name == 'SDMessageGetAllRecordsFromDevice':
            ids, size = sorted(RECORDS, key=lambda k: (k.count('/'), k)), max(1, S.get('batch', 2))
            batches = [{k: RECORDS[k] for k in ids[i:i + size]} for i in range(0, len(ids), size)] or [{}]
            send_batch()
        elif name == 'SDMessageAcknowledgeChangesFromDevice':
            if sent[0] < len(batches):
                send_batch()
        elif name == 'SDMessageProcessChanges':
            remap = {}
            for rid, rec in msg[2].items():
                if is_temporary(rid):
                    NEXT_ID[0] += 1
                    remap[rid] = str(NEXT_ID[0]) if rid.startswith('-') else '%s/%d' % (rid.split('/')[0], NEXT_ID[0])
                RECORDS[remap.get(rid, rid)] = rec
            svc_send(c, ['SDMessageRemapRecordIdentifiers', dc, remap or '___EmptyParameterString___'], True)
        elif name == 'SDMessageFinishSessionOnDevice':
            dump()
            svc_send(c, ['SDMessageDeviceFinishedSession', dc], True)
        elif name == 'DLMessageDisconnect':
            return


def handle(c):
    try:
        serve_mux(c)
    except Closed:
        pass
    except (OSError, plistlib.InvalidFileException, struct.error, ValueError, IndexError) as e:
        log('sim', 'error', repr(e))
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


def main():
    if os.path.exists(sock_path):
        os.unlink(sock_path)
    srv = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    srv.bind(sock_path)
    srv.listen(16)
    dump()
    threading.Thread(target=control, daemon=True).start()
    print('ready', flush=True)
    while True:
        c, _ = srv.accept()
        threading.Thread(target=handle, args=(c,), daemon=True).start()


main()
