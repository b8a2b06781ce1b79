#!/usr/bin/env python3
"""Simulated companion app: an in-memory phone speaking the sync service lines.

companionsim.py ADDRESS MODE[:PORT] ...
ADDRESS is the loopback address to prefer, or "any". When a listener cannot
be bound there (another run's phone holds the WiFi port, say), the phone
moves on to a free address of 127.0.0.0/8 and binds everything there, so
simultaneous test runs never share an address.
MODE is backup, restore, raw (a scripted peer), wifi (the handshake on port
48888), silent (takes every connection and never answers), refuse (the app
stopped: hangs up at once), synfull (a full queue that never accepts, so
the computer's connection request goes unanswered, as a dropped SYN) or
closed (the port is held but nobody listens: a connection is refused at once).
The first stdin line is the scenario JSON:
  {"device": name, "deviceId": id, "version": 2, "count": true|false|N, "batchSize": 20,
   "contacts": [[{"type": 1, "fields": ["<wire text>" | {"text": "plain"}, ...]}, ...]],
   "faults": {"<step>": "error:TEXT" | "close" | "bye" | "stall" | "long:MIB" | "line:TEXT"},
   "pairs": true|false,
   "script": "tokens: percent-encoded bytes to send, ~MS (pause), !fill:N (N bytes 'x'), !close"}
A fault replaces the Nth line the phone sends in a conversation (a key
"restore:N" or "backup:N" only in conversations of that mode), e.g. in a
restore "line:$batch:" answers without pairs, "bye" with "$bye:" and a
hang-up instead of the batch's answer; in a
backup "line:$ent:1/x/2/3,..." sends a malformed id, "stall" stops sending
without hanging up, "long:MIB" sends MIB MiB without a line feed.
"version": 1 and "count": false give an old app and a missing "$count:";
"service": "silent" or "refuse" makes every backup and restore behave so.
A restore answers each batch with "oldId=>newId" pairs,
joined by ",", for every record it got under a temporary id ("pairs": false:
it stores them all the same and answers "$batch:" alone), and refuses
what it cannot apply with "$error:". Contacts get the keys 101, 102, ... (second
key: key + 5000) and records 1001, 1002, ... in the order they arrive. Prints
"ready ADDRESS PORT..." once listening. Every further stdin line prints the phone as
"state JSON" once no conversation runs; the script ends with its input.
"""
import base64, errno, json, os, random, socket, sys, threading, time, urllib.parse

def b64(text): return base64.b64encode(text.encode()).decode()

class Stop(Exception): pass

class Phone:
    def __init__(self, sc, address):
        self.sc, self.address, self.faults = sc, address, sc.get('faults', {})
        self.contacts, self.records, self.received = {}, {}, []   # key -> second; record key -> [type, key, fields]
        self.next_contact, self.next_record = 100, 1000
        self.busy = self.finished = 0; self.idle = threading.Condition()
        self.listeners, self.t = {}, threading.local()   # one conversation per thread
        for records in sc.get('contacts', []):
            key = self.new_contact()
            for r in records:
                fields = [b64(f['text']) if isinstance(f, dict) else f for f in r.get('fields', [])]
                self.add_record(r['type'], key, fields)

    def new_contact(self):
        self.next_contact += 1
        self.contacts[self.next_contact] = self.next_contact + 5000
        return self.next_contact

    def add_record(self, rtype, key, fields):
        self.next_record += 1
        self.records[self.next_record] = [rtype, key, fields]
        return self.next_record

    def rid(self, rkey):
        t, key, _ = self.records[rkey]
        return f'{t}/{key}/{self.contacts[key]}/{rkey}'

    def state(self):   # every record as its id and wire fields
        return {'records': [[self.rid(r)] + v[2] for r, v in sorted(self.records.items())], 'received': self.received}

    # --- one conversation
    def converse(self, conn, mode):
        if mode in ('backup', 'restore'): mode = self.sc.get('service', mode)
        with self.idle: self.busy += 1
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)   # line by line without stalls
        t = self.t
        t.conn, t.reader, t.sent, t.mode = conn, conn.makefile('rb'), 0, mode
        try:
            getattr(self, mode)()
        except (ValueError, KeyError) as e:   # the phone refuses what it cannot apply
            conn.sendall(f'$error:{b64(f"{type(e).__name__}: {e}")}\n'.encode())
        except (Stop, OSError): pass
        finally:   # the reader holds the socket open too
            t.reader.close(); conn.close()
            with self.idle: self.busy -= 1; self.finished += 1; self.idle.notify_all()

    def send(self, line):
        self.t.sent += 1
        fault = self.faults.get(f'{self.t.mode}:{self.t.sent}', self.faults.get(str(self.t.sent), ''))
        kind, _, arg = fault.partition(':')
        if kind == 'close': raise Stop()
        if kind == 'bye':
            self.t.conn.sendall(b'$bye:\n')
            raise Stop()
        if kind == 'stall': self.drain()
        if kind == 'long':
            self.t.conn.sendall(b'x' * (int(arg) << 20))
            raise Stop()
        line = {'error': '$error:' + b64(arg), 'line': arg}.get(kind, line)
        self.t.conn.sendall(line.encode('latin-1') + b'\n')
        if kind == 'error': raise Stop()

    def read(self):
        line = self.t.reader.readline()
        if not line: raise Stop()
        self.received.append(line.decode('latin-1'))
        return line.decode('latin-1').rstrip('\n')

    def backup(self):
        self.send('$device:' + b64(self.sc.get('device', 'Simulated phone')))
        self.send(f"$version:{self.sc.get('version', 2)}")
        count = self.sc.get('count', True)
        if count is not False: self.send(f'$count:{len(self.contacts) if count is True else count}')
        keys, size, mine = list(self.contacts), self.sc.get('batchSize', 20), {}
        for r, (t, k, fields) in sorted(self.records.items(), key=lambda x: (x[1][0] != 1, x[0])):
            mine.setdefault(k, []).append('$ent:' + ','.join([self.rid(r)] + fields))
        for i in range(0, len(keys), size):
            self.send('$batch:')
            for key in keys[i:i + size]:
                for line in mine.get(key, []): self.send(line)
            self.send('$end:')
            if not self.read().startswith('$batch:'): raise Stop()
        self.send('$bye:')
        self.drain()

    def restore(self):
        pairs = []
        while True:
            line = self.read()
            cmd, _, arg = line.partition(':')
            if cmd == '$batch': pairs = []
            elif cmd == '$end': self.send('$batch:' + ','.join(pairs if self.sc.get('pairs', True) else []))
            elif cmd == '$ungroup':
                for r in [r for r, v in self.records.items() if v[1] == int(arg) and v[0] == 7]: del self.records[r]
            elif cmd in ('$ent', '$del'):
                rid, *fields = arg.split(',')
                t, key, _, rkey = (int(x) for x in rid.split('/'))
                if cmd == '$del':
                    self.records = {r: v for r, v in self.records.items() if (v[1] != key if t == 1 else r != rkey)}
                    if t == 1: self.contacts.pop(key, None)
                elif rkey >= 0: self.records[rkey][2] = fields
                else:
                    if t == 1: key = self.new_contact()
                    elif key not in self.contacts: raise KeyError(f'no contact {key}')
                    pairs.append(f'{rid}=>{self.rid(self.add_record(t, key, fields))}')

    def drain(self):   # until the computer hangs up
        while self.t.conn.recv(65536): pass
        raise Stop()

    def silent(self): self.drain()

    def refuse(self): raise Stop()

    def raw(self):
        for step in self.sc.get('script', '').split():
            if step == '!close': raise Stop()
            elif step.startswith('!fill:'): self.t.conn.sendall(b'x' * int(step[6:]))
            elif step.startswith('~'): time.sleep(int(step[1:]) / 1000)
            else: self.t.conn.sendall(urllib.parse.unquote_to_bytes(step))
        while data := self.t.conn.recv(65536): self.received.append(data.decode('latin-1'))

    def wifi(self):
        cmd, _, arg = self.read().partition(':')
        if cmd == 'hello': self.send('hello:' + self.sc.get('deviceId', 'sim-device'))
        elif cmd in ('backup', 'restore'): self.listen(cmd, int(arg.rstrip('/').rsplit(':', 1)[1]))

    # --- listeners: one conversation at a time per port
    def listen(self, mode, port):
        if port in self.listeners:
            self.listeners[port][1] = mode
            return port
        return self.serve(self.bind(port), mode)

    def bind(self, port):
        # No SO_REUSEADDR: a port held without listening ("closed") must keep
        # every other socket off it, and no two runs may bind one address.
        srv = socket.socket()
        try:
            srv.bind((self.address, port))
        except OSError:
            srv.close()
            raise
        return srv

    def serve(self, srv, mode):
        port = srv.getsockname()[1]
        if mode == 'closed':   # bound, never listening: the system refuses every connection
            self.listeners[port] = [srv, mode]
            return port
        if mode == 'synfull':   # one connection of its own fills the queue
            srv.listen(0)
            self.listeners[port] = [srv, socket.create_connection(srv.getsockname())]
            return port
        srv.listen()
        self.listeners[port] = [srv, mode]
        def loop():
            while True:
                try: conn, _ = srv.accept()
                except OSError: return
                self.converse(conn, self.listeners[port][1])
        threading.Thread(target=loop, daemon=True).start()
        return port

    def open_all(self, preferred, modes):
        """Binds every listener on one address, the preferred one first; when
        any of them finds its port taken there, all of them move on together
        to a random address of 127.0.0.0/8."""
        candidates = ([] if preferred == 'any' else [preferred]) + [
            f'127.{random.randrange(256)}.{random.randrange(256)}.{random.randrange(2, 255)}' for _ in range(64)]
        for address in candidates:
            self.address, bound = address, []
            try:
                for mode, port in modes:
                    srv = self.bind(port)
                    bound.append((srv, mode))
                    if mode not in ('closed', 'synfull'): srv.listen()   # a listener of another run shows here
            except OSError as e:
                for srv, _ in bound: srv.close()
                if e.errno not in (errno.EADDRINUSE, errno.EADDRNOTAVAIL): raise
                continue
            return address, [self.serve(srv, mode) for srv, mode in bound]
        raise OSError(errno.EADDRINUSE, 'no free loopback address')

def main():
    phone = Phone(json.loads(sys.stdin.readline() or '{}'), sys.argv[1])
    modes = [(m, 48888 if m == 'wifi' else int(p or 0)) for m, _, p in (spec.partition(':') for spec in sys.argv[2:])]
    address, ports = phone.open_all(sys.argv[1], modes)
    print('ready', address, *ports, flush=True)
    for line in sys.stdin:   # "dump [N]": once N conversations have ended and none runs
        want = int((line.split() + ['0'])[1])
        with phone.idle: phone.idle.wait_for(lambda: phone.busy == 0 and phone.finished >= want, timeout=10)
        print('state', json.dumps(phone.state()), flush=True)
    os._exit(0)

if __name__ == '__main__':
    main()
