#!/usr/bin/env python3
"""A TCP relay that holds every chunk of data for a fixed time in each
direction, standing in for a link with that delay where the kernel has no
netem queueing discipline (scripts/netns.sh uses it then).

    delay-relay.py DELAY_MS LISTEN_ADDR:PORT TARGET_ADDR:PORT [...]

Each pair of addresses after the delay is one relay. Order within a
connection is kept: a chunk leaves DELAY_MS after it arrived, never before the
one ahead of it. Runs until killed (SIGTERM)."""

import asyncio
import signal
import sys
import time


def split(addr):
    host, port = addr.rsplit(":", 1)
    return host, int(port)


async def pump(reader, writer, delay):
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except OSError:
            pass

    sender = asyncio.create_task(send())
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            queue.put_nowait((time.monotonic() + delay, data))
    except OSError:
        pass
    queue.put_nowait((0, None))
    try:
        await sender
    except OSError:
        pass


async def serve(listen, target, delay):
    async def on_client(creader, cwriter):
        try:
            treader, twriter = await asyncio.open_connection(*target)
        except OSError:
            cwriter.close()
            return
        for w in (cwriter, twriter):
            sock = w.get_extra_info("socket")
            if sock is not None:
                import socket

                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        await asyncio.gather(pump(creader, twriter, delay), pump(treader, cwriter, delay), return_exceptions=True)
        for w in (cwriter, twriter):
            w.close()

    server = await asyncio.start_server(on_client, *listen, reuse_address=True)
    return server


async def main():
    delay = float(sys.argv[1]) / 1000.0
    pairs = sys.argv[2:]
    if not pairs or len(pairs) % 2:
        sys.exit("usage: delay-relay.py DELAY_MS LISTEN:PORT TARGET:PORT [...]")
    servers = [await serve(split(pairs[i]), split(pairs[i + 1]), delay) for i in range(0, len(pairs), 2)]
    print("relaying", flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    await stop.wait()
    for s in servers:
        s.close()


asyncio.run(main())
