#!/usr/bin/env python3
"""Loopback stand-in for the transcoding gateway that the harvest workers ask.

Serves GET /tc?bd_page_type=1&src=<encoded listing page N address> with the first part of page N,
and the continuation query that its next-part link carries with the second part, in the markup the
workers cut by their fixed markers. Python standard library only.

  gateway_sim.py [--listen HOST:PORT] [--listing-host H] [--scenario FILE.json] [--log FILE]

--listen       default: $PROXYTOOL_GATEWAY_HOST, else the default build's 127.0.0.1:18931;
               port 0 picks a free port. Prints "READY <host:port>" once listening.
--listing-host default: $PROXYTOOL_LISTING_HOST, else www.proxylisting.test. A src naming
               another host (or no listing page) gets an error page without any data block.
--log          one JSON object per line: per request {"event": "request", method, path, raw (the
               request bytes as latin-1 text), page, part (1, 2 or null), mode, t (seconds since
               start)}, and once its answer is out {"event": "sent" | "send_failed" | "reset",
               path, bytes, t}.

Scenario JSON (texts UTF-8 in the file, encoded to the page's charset when served):
  {"pages": {"3": {"charset": "gbk" | "utf-8",
                   "mode": "ok" | "fail" | "reset" | ... (see Modes),
                   "parts": [[["127.0.0.121", "HTTP", "0.5秒", "北京市 联通", "高匿"], ...],
                             [...entries of the second part...]],
                   "delay_ms": 0,
                   "huge_bytes": 4194304}},
   "unlisted": "sample" | "empty",
   "mode": "ok",
   "delay_ms": 0,
   "hold": false}
Each entry is a list of span texts, served in order as <span  class="c7" >TEXT</span>; an empty
string is served as an empty span. An entry need not start with an address (so an entry can be
cut across the two parts). Pages not listed are served from the embedded sample (below), or as
empty 200 answers when "unlisted" is "empty". "charset" defaults to "gbk"; "mode" to the
scenario's own "mode" (so one mode can be given to every page at once), else "ok". With "hold"
every answer waits until the simulator gets SIGUSR1 (then nothing is held any more): all the
workers' answers can be let go at one moment.

Modes (they apply to every request of that page):
  ok           the part with its next-part link (first part) and its data block
  fail         "502 Bad Gateway" with a short error page that holds no markers
  reset        the connection is reset before any answer byte
  empty        "200 OK" with an empty body
  huge         the part preceded by filler markup: "huge_bytes" of the page, else --huge-bytes
               (about 4 MB)
  no_markers   the entries as plain markup: no next-part link, no data block marker
  open_marker  the data block start marker without its end marker
  amp_link     the next-part link's query written with &amp; between its keys, as HTML does
Hostile modes:
  short_body   Content-Length 5000 bytes more than the body, the body, then the connection closed
  huge_length  "Content-Length: 2000000000", the body, then the connection closed
  reset_mid    half the body, then the connection reset
  drip         the answer one byte every 50 ms, for at most 10 s, then the connection closed
  loop301      "301 Moved Permanently" with a Location that names the very URL asked for
  error500     "500 Internal Server Error" whose body is the part, markers and all
  nul          zero bytes inside the data block (between entries) and inside a span text
  bad_utf8     declares charset=utf-8 and holds invalid UTF-8 inside its span texts
  many_spans   100 000 c7 spans in the part: 1 000 entries of five texts, then 95 000 texts of one
               character
  cookie_flood a header block of about 64 KB of Set-Cookie lines (session cookies) before the part
"""

import argparse
import json
import os
import signal
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse

DEFAULT_GATEWAY = "127.0.0.1:18931"
DEFAULT_LISTING = "www.proxylisting.test"

# Byte-exact markup the workers cut (the texts are encoded to the page's charset when served).
NEXT_LINK = '<a id="tc_next" href="./tc{query}" accesskey="n">下页</a>'
BLOCK_START = ('<div  style="font-weight:bold;" >免费代理IP，HTTP免费代理服务器大全，每日更新</div>'
               '<div  class="c5" >')
BLOCK_END = '</div></div></div>'
SPAN = '<span  class="c7" >{}</span>'

MODES = ("ok", "fail", "reset", "empty", "huge", "no_markers", "open_marker", "amp_link",
         "short_body", "huge_length", "reset_mid", "drip", "loop301", "error500", "nul", "bad_utf8",
         "many_spans", "cookie_flood")
DRIP_INTERVAL_S = 0.05
DRIP_LIMIT_S = 10.0
# Invalid UTF-8 put into the span texts of a bad_utf8 page: a lone continuation byte, a truncated
# sequence, an overlong slash, bytes that never occur, a surrogate half.
BAD_UTF8 = [b"\x80", b"\xe2\x82", b"\xc0\xaf", b"\xfe\xff", b"\xed\xa0\x80"]


def _sample():
    """The embedded sample: ten pages with addresses in 127.0.0.100-199, odd pages GBK and even
    pages UTF-8. Page 2 cuts an entry across its two parts, page 4 starts with the listing's table
    heading (texts before the first address), page 6 has an entry with six texts behind its
    address, page 8 has an entry with only its type behind the address."""
    places = ["北京市 联通", "广东省深圳市 电信", "浙江省杭州市 阿里云", "上海市 移动",
              "江苏省南京市 电信", "四川省成都市 联通", "湖北省武汉市 电信", "山东省济南市 联通"]
    kinds = ["高匿", "透明", "普通匿名"]
    types = ["HTTP", "HTTP", "HTTP", "HTTPS", "HTTP", "SOCKS5"]
    pages = {}
    host = 100
    for n in range(1, 11):
        parts = []
        for part, count in ((1, 4 + n % 3), (2, 2 + n % 2)):
            entries = []
            for _ in range(count):
                i = host - 100
                entries.append([f"127.0.0.{host}", types[i % len(types)], f"{0.3 + (i % 17) / 10:.1f}秒",
                                places[i % len(places)], kinds[i % len(kinds)]])
                host += 1
            parts.append(entries)
        if n == 2:  # the last entry of part 1 continues at the top of part 2
            last = parts[0][-1]
            parts[0][-1] = last[:2]
            parts[1].insert(0, last[2:])
        if n == 4:
            parts[0].insert(0, ["IP", "类型", "响应速度", "位置", "匿名度"])
        if n == 6:
            parts[0][1] = parts[0][1] + ["2024-05-01", "已验证"]
        if n == 8:
            parts[1][0] = parts[1][0][:2]
        pages[str(n)] = {"charset": "gbk" if n % 2 else "utf-8", "mode": "ok", "parts": parts}
    return {"pages": pages, "unlisted": "sample"}


SAMPLE = _sample()


def encoded_listing_address(listing_host, n):
    return f"http%3A%2F%2F{listing_host}%2Fres%2Fip%2Fpage_{n}.php"


def page_query(listing_host, n):
    """Query of worker n's first request, as the workers build it."""
    return f"?bd_page_type=1&src={encoded_listing_address(listing_host, n)}"


def continuation_query(listing_host, n, amp=False):
    sep = "&amp;" if amp else "&"
    return f"?bd_page_type=1{sep}src={encoded_listing_address(listing_host, n)}{sep}tc_part=2"


def page_config(scenario, n):
    pages = scenario.get("pages", {})
    if str(n) in pages:
        cfg = dict(pages[str(n)])
    elif scenario.get("unlisted", "sample") == "sample":
        cfg = dict(SAMPLE["pages"][str(n)])
        cfg.pop("mode", None)
    else:
        cfg = {"mode": "empty", "parts": []}
    cfg.setdefault("charset", "gbk")
    cfg.setdefault("mode", scenario.get("mode", "ok"))
    cfg.setdefault("parts", [])
    if cfg["mode"] not in MODES:
        raise ValueError(f"page {n}: unknown mode {cfg['mode']!r}")
    if cfg["charset"] not in ("gbk", "utf-8"):
        raise ValueError(f"page {n}: unknown charset {cfg['charset']!r}")
    if cfg["mode"] == "bad_utf8":
        cfg["charset"] = "utf-8"
    return cfg


def served_texts(scenario, n):
    """Every span text of page n's two parts in serving order (what a worker collects)."""
    cfg = page_config(scenario, n)
    return [[t for entry in part for t in entry] for part in cfg["parts"][:2]]


def render_part(cfg, listing_host, n, part, huge_bytes=4 << 20):
    """The body (bytes in the page's charset) of one part of page n."""
    mode = cfg["mode"]
    huge_bytes = cfg.get("huge_bytes", huge_bytes)
    entries = cfg["parts"][part - 1] if len(cfg["parts"]) >= part else []
    if mode == "many_spans":
        entries = [[f"10.{n}.{i // 256}.{i % 256}", "HTTP", "1秒", "远方", "高匿"] for i in range(1000)]
        entries.append(["-"] * 95000)
    spans = "".join("<p>" + "".join(SPAN.format(t) for t in entry) + "</p>" for entry in entries)
    meta = ('<meta http-equiv="Content-Type" content="text/html; charset=utf-8"/>' if cfg["charset"] == "utf-8"
            else '<meta http-equiv="Content-Type" content="text/html; charset=gb2312"/>')
    head = f"<html><head>{meta}<title>免费代理IP 第{n}页</title></head><body>"
    link = ""
    if part == 1 and mode != "no_markers":
        link = NEXT_LINK.format(query=continuation_query(listing_host, n, amp=(mode == "amp_link")))
    if mode == "no_markers":
        block = '<div class="list">' + spans + "</div>"
    elif mode == "open_marker":
        block = BLOCK_START + spans + "</div>"
    else:
        block = BLOCK_START + spans + BLOCK_END
    filler = ""
    if mode == "huge":
        row = "<!-- 免费代理 filler " + "x" * 100 + " -->\n"
        filler = row * max(1, huge_bytes // len(row.encode("utf-8")))
    html = (head + filler + '<div class="top">第' + str(n) + "页 第" + str(part) + "部分</div>" + block
            + '<div class="nav">' + link + "</div></body></html>")
    body = html.encode(cfg["charset"])
    if mode == "nul":
        # One zero byte between the first two entries, one inside the first span text.
        body = body.replace(b"</p><p>", b"</p>\0<p>", 1)
        first = SPAN.format("").encode("ascii")[:-len("</span>")]
        at = body.find(first)
        if at >= 0:
            at += len(first) + 2
            body = body[:at] + b"\0" + body[at:]
    elif mode == "bad_utf8":
        for i, bad in enumerate(BAD_UTF8):
            # Behind the type text of the first entries (so the addresses stay whole).
            body = body.replace(b">HTTP</span>", b">HTTP" + bad + b"</span>", 1) if i % 2 == 0 else \
                body.replace("秒</span>".encode("utf-8"), "秒".encode("utf-8") + bad + b"</span>", 1)
    return body


def error_page(text):
    return f"<html><body><p>{text}</p></body></html>".encode("gbk")


class Gateway(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, addr, scenario, listing_host, log_path, huge_bytes):
        self.scenario = scenario
        # Set when answers may go (SIGUSR1); None when nothing is held.
        self.release = threading.Event() if scenario.get("hold") else None
        self.listing_host = listing_host
        self.huge_bytes = huge_bytes
        self.log_file = open(log_path, "a", encoding="utf-8") if log_path else None
        self.log_lock = threading.Lock()
        self.t0 = time.monotonic()
        super().__init__(addr, Handler)

    def log(self, record):
        if not self.log_file:
            return
        record["t"] = round(time.monotonic() - self.t0, 4)
        with self.log_lock:
            self.log_file.write(json.dumps(record, ensure_ascii=False) + "\n")
            self.log_file.flush()


def parse_target(server, path):
    """(page, part) of a request path; (None, None) when it names no listing page."""
    if not path.startswith("/tc?"):
        return None, None
    query = path[4:]
    keys = {}
    for item in query.split("&"):
        k, _, v = item.partition("=")
        if k.startswith("amp;"):  # a link written with &amp; and sent on unchanged
            k = k[4:]
        keys[k] = urllib.parse.unquote(v)
    if keys.get("bd_page_type") != "1":
        return None, None
    prefix = f"http://{server.listing_host}/res/ip/page_"
    src = keys.get("src", "")
    if not (src.startswith(prefix) and src.endswith(".php")):
        return None, None
    number = src[len(prefix):-4]
    if not number.isdigit() or str(int(number)) != number or not 1 <= int(number) <= 10:
        return None, None
    part = 2 if keys.get("tc_part") == "2" else 1
    return int(number), part


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.settimeout(10)
        raw = b""
        try:
            while b"\r\n\r\n" not in raw:
                chunk = sock.recv(65536)
                if not chunk:
                    return
                raw += chunk
                if len(raw) > 1 << 20:
                    return
        except OSError:
            return
        head = raw.split(b"\r\n\r\n", 1)[0].decode("latin-1")
        request_line = head.split("\r\n", 1)[0]
        parts = request_line.split(" ")
        method = parts[0] if parts else ""
        path = parts[1] if len(parts) > 1 else ""
        server = self.server
        page, part = parse_target(server, path)
        cfg = page_config(server.scenario, page) if page else None
        mode = cfg["mode"] if cfg else None
        server.log({"event": "request", "method": method, "path": path, "raw": raw.decode("latin-1"), "page": page, "part": part,
                    "mode": mode})
        delay = server.scenario.get("delay_ms", 0)
        if cfg:
            delay = cfg.get("delay_ms", delay)
        if delay:
            time.sleep(delay / 1000.0)
        if server.release is not None:
            server.release.wait()

        charset = "gbk"
        status = "200 OK"
        if cfg is None:
            status, body = "400 Bad Request", error_page("转码失败：缺少有效的 src 参数")
        elif mode == "reset":
            # RST instead of FIN: the client sees the connection reset before any answer byte.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
            server.log({"event": "reset", "path": path, "bytes": 0})
            return
        elif mode == "fail":
            status, body = "502 Bad Gateway", error_page("源站无法访问")
        elif mode == "empty":
            body = b""
        elif mode == "loop301":
            status, body = "301 Moved Permanently", b""
        else:
            charset = cfg["charset"]
            body = render_part(cfg, server.listing_host, page, part, server.huge_bytes)
            if mode == "error500":
                status = "500 Internal Server Error"
        ctype = "text/html; charset=utf-8" if charset == "utf-8" else "text/html; charset=gbk"
        length = len(body)
        extra = ""
        if mode == "short_body":
            length = len(body) + 5000
        elif mode == "huge_length":
            length = 2000000000
        elif mode == "loop301":
            extra = f"Location: http://{server.listen_text}{path}\r\n"
        elif mode == "cookie_flood":
            extra = "".join(f"Set-Cookie: flood{i:03d}={'v' * 72}; path=/\r\n" for i in range(640))
        header = (f"HTTP/1.1 {status}\r\nServer: tcgw-sim\r\nContent-Type: {ctype}\r\n{extra}"
                  f"Content-Length: {length}\r\nConnection: close\r\n\r\n").encode("latin-1")
        answer = header + body
        sent = True
        try:
            if mode == "reset_mid":
                sock.sendall(header + body[:len(body) // 2])
                time.sleep(0.05)  # let the bytes leave before the reset
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                sock.close()
                server.log({"event": "reset", "path": path, "bytes": len(header) + len(body) // 2})
                return
            if mode == "drip":
                deadline = time.monotonic() + DRIP_LIMIT_S
                count = 0
                while count < len(answer) and time.monotonic() < deadline:
                    sock.sendall(answer[count:count + 1])
                    count += 1
                    time.sleep(DRIP_INTERVAL_S)
                answer = answer[:count]
            else:
                sock.sendall(answer)
            sock.shutdown(socket.SHUT_WR)
        except OSError:
            sent = False
        server.log({"event": "sent" if sent else "send_failed", "path": path, "bytes": len(answer)})


def split_hostport(text, default_port=80):
    host, _, port = text.rpartition(":")
    if not host:
        return text, default_port
    return host, int(port)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--listen", default=os.environ.get("PROXYTOOL_GATEWAY_HOST") or DEFAULT_GATEWAY)
    ap.add_argument("--listing-host", default=os.environ.get("PROXYTOOL_LISTING_HOST") or DEFAULT_LISTING)
    ap.add_argument("--scenario")
    ap.add_argument("--log")
    ap.add_argument("--huge-bytes", type=int, default=4 << 20)
    args = ap.parse_args(argv)

    scenario = SAMPLE
    if args.scenario:
        with open(args.scenario, encoding="utf-8") as f:
            scenario = json.load(f)
    for n in range(1, 11):
        page_config(scenario, n)  # reject a bad scenario before listening

    host, port = split_hostport(args.listen)
    server = Gateway((host, port), scenario, args.listing_host, args.log, args.huge_bytes)
    bound = server.server_address
    server.listen_text = f"{bound[0]}:{bound[1]}"
    if server.release is not None:
        signal.signal(signal.SIGUSR1, lambda *_: server.release.set())
    print(f"READY {bound[0]}:{bound[1]}", flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
