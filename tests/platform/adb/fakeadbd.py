#!/usr/bin/env python3
"""Simulated phone: the device side of the ADB protocol on 127.0.0.1.

Usage: fakeadbd.py [config.json]
Prints "ready <port>" once listening, then one line per event, and exits when
its standard input closes. Config keys (all optional):
  port           port to listen on (0 = any free port)
  max_payload    payload size offered in CNXN (default 262144)
  banner         CNXN banner (default "device::ro.product.model=Sim;")
  auth           "none", "accept" (an unknown key is accepted after the prompt)
                 or "deny" (it never is); default "accept"
  keys           public-key blobs accepted without a prompt
  okay_delay_ms  delay before each OKAY that answers a host WRTE
  refuse         service prefixes whose OPEN is refused
  shell          {command: output, or {"output": s, "close_after": n,
                 "stall": true, "drop": true, "flood": mib}}; other commands
                 print nothing. close_after cuts the output, then drop takes
                 the link down (else the stream ends); flood sends mib MiB
                 without waiting for the host's OKAY
  silent         "cnxn": never answers the host's CNXN; "auth": sends its
                 AUTH token, then ignores the host
  sync_dir       folder that receives pushed files, by base name
  sync_fail      text of a FAIL answer to every push
  tcp            {"device port": "local port"}; "*" maps every other port;
                 without it other ports map to themselves
Log lines: "cnxn <banner>", "auth ok", "auth bad-signature", "auth prompt",
"auth bad-key", "open <service>", "shell <command>", "push <path> <size>",
"flood <bytes sent>".
"""
import base64, json, os, queue, socket, struct, sys, threading, time

CMD = {n: struct.unpack('<I', n.encode())[0] for n in ('CNXN', 'AUTH', 'OPEN', 'OKAY', 'CLSE', 'WRTE')}
SHA1_DIGEST_INFO = bytes.fromhex('3021300906052b0e03021a05000414')
LOG_LOCK = threading.Lock()


def log(*words):
    with LOG_LOCK:
        print(*words, flush=True)


def decode_key(blob):
    """Reads an Android public-key blob and checks its Montgomery fields."""
    raw = base64.b64decode(blob.split(b' ')[0].rstrip(b'\0'))
    words, n0inv = struct.unpack_from('<II', raw)
    n = int.from_bytes(raw[8:8 + 4 * words], 'little')
    rr = int.from_bytes(raw[8 + 4 * words:8 + 8 * words], 'little')
    e, = struct.unpack_from('<I', raw, 8 + 8 * words)
    if words != 64 or (n0inv * n) % 2**32 != 2**32 - 1 or rr != pow(2, 4096, n):
        raise ValueError('inconsistent key fields')
    return n, e


def verify(key, token, signature):
    n, e = key
    m = pow(int.from_bytes(signature, 'big'), e, n).to_bytes(256, 'big')
    return m == b'\0\1' + b'\xff' * 218 + b'\0' + SHA1_DIGEST_INFO + token


class Stream:
    def __init__(self, conn, local, remote):
        self.conn, self.local, self.remote = conn, local, remote
        self.okay, self.inq, self.closed = threading.Event(), queue.Queue(), False
        self.okay.set()

    def write(self, data):
        step = min(self.conn.cfg.get('max_payload', 262144), self.conn.host_max)
        for i in range(0, len(data), step):
            self.okay.wait()
            if self.closed:
                return
            self.okay.clear()
            self.conn.send('WRTE', self.local, self.remote, data[i:i + step])

    def read(self):
        return self.inq.get()

    def end(self):
        self.closed = True
        self.okay.set()
        self.inq.put(None)

    def close(self):
        if not self.closed:
            self.closed = True
            self.conn.send('CLSE', self.local, self.remote)
            self.okay.set()


class Conn:
    def __init__(self, sock, cfg, keys):
        self.sock, self.cfg, self.keys = sock, cfg, keys
        self.wlock, self.streams, self.next_id, self.host_max = threading.Lock(), {}, 1, 4096
        self.rfile = sock.makefile('rb')

    def send(self, name, a0, a1, data=b''):
        c = CMD[name]
        with self.wlock:
            try:
                self.sock.sendall(struct.pack('<6I', c, a0, a1, len(data), sum(data) & 0xffffffff, c ^ 0xffffffff) + data)
            except OSError:
                pass

    def recv_exact(self, n):
        buf = self.rfile.read(n)
        if len(buf) < n:
            raise EOFError
        return buf

    def connect(self):
        banner = self.cfg.get('banner', 'device::ro.product.model=Sim;').encode() + b'\0'
        self.send('CNXN', 0x01000001, self.cfg.get('max_payload', 262144), banner)

    def run(self):
        token = os.urandom(20)
        try:
            while True:
                c, a0, a1, length, check, magic = struct.unpack('<6I', self.recv_exact(24))
                data = self.recv_exact(length)
                assert magic == c ^ 0xffffffff and check in (0, sum(data) & 0xffffffff), 'bad header'
                name = struct.pack('<I', c).decode()
                silent = self.cfg.get('silent')
                if silent == 'cnxn' or (silent == 'auth' and name != 'CNXN'):
                    continue
                if silent == 'auth':
                    self.send('AUTH', 1, 0, token)
                elif name == 'CNXN':
                    self.host_max = a1
                    log('cnxn', data.rstrip(b'\0').decode())
                    if self.cfg.get('auth', 'accept') == 'none':
                        self.connect()
                    else:
                        self.send('AUTH', 1, 0, token)
                elif name == 'AUTH' and a0 == 2:
                    if any(verify(k, token, data) for k in self.keys):
                        log('auth ok')
                        self.connect()
                    else:
                        log('auth bad-signature')
                        token = os.urandom(20)
                        self.send('AUTH', 1, 0, token)
                elif name == 'AUTH' and a0 == 3:
                    log('auth prompt')
                    try:
                        key = decode_key(data)
                    except (ValueError, struct.error):
                        log('auth bad-key')
                        continue
                    if self.cfg.get('auth', 'accept') == 'accept':
                        self.keys.append(key)
                        self.connect()
                elif name == 'OPEN':
                    self.open(a0, data.rstrip(b'\0').decode())
                elif name in ('OKAY', 'WRTE', 'CLSE') and a1 in self.streams:
                    st = self.streams[a1]
                    if name == 'OKAY':
                        st.okay.set()
                    elif name == 'WRTE':
                        st.inq.put(data)
                        delay = self.cfg.get('okay_delay_ms', 0) / 1000
                        threading.Timer(delay, self.send, ('OKAY', a1, a0)).start()
                    else:
                        st.end()
                        del self.streams[a1]
        except (EOFError, OSError):
            pass
        except AssertionError as e:
            log('error', e)
        finally:
            for st in list(self.streams.values()):
                st.end()
            self.sock.close()

    def open(self, remote, service):
        log('open', service)
        if any(service.startswith(p) for p in self.cfg.get('refuse', [])) or service.split(':')[0] not in ('shell', 'sync', 'tcp'):
            self.send('CLSE', 0, remote)
            return
        target = None
        if service.startswith('tcp:'):
            tcp = self.cfg.get('tcp', {})
            port = tcp.get(service[4:], tcp.get('*', service[4:]))
            try:
                target = socket.create_connection(('127.0.0.1', int(port)))
            except OSError:
                self.send('CLSE', 0, remote)
                return
        st = Stream(self, self.next_id, remote)
        self.streams[st.local] = st
        self.next_id += 1
        self.send('OKAY', st.local, remote)
        handler = {'shell': self.shell, 'sync': self.sync, 'tcp': self.bridge}[service.split(':')[0]]
        threading.Thread(target=handler, args=(st, service.split(':', 1)[1], target), daemon=True).start()

    def shell(self, st, command, _):
        log('shell', command)
        entry = self.cfg.get('shell', {}).get(command, '')
        entry = entry if isinstance(entry, dict) else {'output': entry}
        if entry.get('flood'):
            sent, step = 0, min(self.cfg.get('max_payload', 262144), self.host_max)
            while sent < entry['flood'] << 20 and not st.closed:
                self.send('WRTE', st.local, st.remote, b'x' * step)
                sent += step
            log('flood', sent)
            return
        out = entry.get('output', '').encode()
        st.write(out[:entry.get('close_after', len(out))])
        if entry.get('drop'):
            time.sleep(0.05)   # the cut output arrives before the link goes
            self.sock.shutdown(socket.SHUT_RDWR)
            return
        if entry.get('stall'):
            return
        st.close()

    def sync(self, st, _, __):
        buf, path, body = b'', None, b''
        while True:
            while len(buf) < 8 or (buf[:4] in (b'SEND', b'DATA', b'STAT') and len(buf) < 8 + struct.unpack_from('<I', buf, 4)[0]):
                data = st.read()
                if data is None:
                    return
                buf += data
            kind, size = buf[:4], struct.unpack_from('<I', buf, 4)[0]
            payload, buf = (buf[8:8 + size], buf[8 + size:]) if kind in (b'SEND', b'DATA', b'STAT') else (b'', buf[8:])
            if kind == b'STAT':  # nothing exists on this phone
                st.write(b'STAT' + bytes(12))
            elif kind == b'SEND':
                path, body = payload.decode().rsplit(',', 1)[0], b''
            elif kind == b'DATA':
                body += payload
            elif kind == b'DONE' and self.cfg.get('sync_fail'):
                text = self.cfg['sync_fail'].encode()
                st.write(b'FAIL' + struct.pack('<I', len(text)) + text)
            elif kind == b'DONE':
                with open(os.path.join(self.cfg['sync_dir'], os.path.basename(path)), 'wb') as f:
                    f.write(body)
                log('push', path, len(body))
                st.write(b'OKAY\0\0\0\0')
            else:
                st.close()
                return

    def bridge(self, st, _, target):
        def up():
            while True:
                data = st.read()
                if data is None:
                    break
                target.sendall(data)
            target.close()
        threading.Thread(target=up, daemon=True).start()
        try:
            while True:
                data = target.recv(65536)
                if not data:
                    break
                st.write(data)
        except OSError:
            pass
        st.close()


def main():
    cfg = json.load(open(sys.argv[1])) if len(sys.argv) > 1 else {}
    keys = [decode_key(k.encode()) for k in cfg.get('keys', [])]
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(('127.0.0.1', cfg.get('port', 0)))
    server.listen(8)
    log('ready', server.getsockname()[1])
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    while True:
        sock, _ = server.accept()
        threading.Thread(target=Conn(sock, cfg, keys).run, daemon=True).start()


if __name__ == '__main__':
    main()
