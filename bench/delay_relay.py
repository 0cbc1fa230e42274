"""A TCP relay on loopback that delays every byte by a fixed time in each direction, as a link
with that latency does (no bandwidth limit): 25 ms each way makes a 50 ms round trip.

    delay_relay.py TARGET_HOST:PORT DELAY_MS     prints "PORT <n>" once it listens

Also a module: Relay(target, delay_ms).host_port serves from a thread of its own.
"""

import asyncio
import sys
import threading
import time


async def _read_into(reader, queue, delay, not_before=0.0):
    """Queues what `reader` gives, each piece due `delay` seconds after it arrived (not before
    `not_before`); b"" at the end."""
    try:
        while True:
            data = await reader.read(1 << 16)
            queue.put_nowait((max(time.monotonic() + delay, not_before), data))
            if not data:
                return
    except (ConnectionError, OSError):
        queue.put_nowait((0, b""))


async def _send_from(queue, writer):
    """Writes the queued pieces, in order, each once it is due."""
    try:
        while True:
            due, data = await queue.get()
            if due > time.monotonic():
                await asyncio.sleep(due - time.monotonic())
            if not data:
                break
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()
    except (ConnectionError, OSError):
        pass


async def _carry(reader, writer, delay):
    queue = asyncio.Queue()
    await asyncio.gather(_read_into(reader, queue, delay), _send_from(queue, writer))


class Relay:
    def __init__(self, target, delay_ms):
        self.target_host, _, port = target.rpartition(":")
        self.target_port, self.delay = int(port), delay_ms / 1000.0
        self.loop = asyncio.new_event_loop()
        server = self.loop.run_until_complete(asyncio.start_server(self.serve, "127.0.0.1", 0))
        self.host_port = "127.0.0.1:%d" % server.sockets[0].getsockname()[1]
        threading.Thread(target=self.loop.run_forever, daemon=True).start()

    async def serve(self, client_reader, client_writer):
        # The client's kernel completes its connection at once; over a real link the server sees
        # it after one and a half round trips (SYN, its answer, ACK), the client's first bytes
        # with it, and its own first answer reaches the client half a round trip later.
        to_server = asyncio.Queue()
        opened = time.monotonic() + 3 * self.delay
        reading = asyncio.ensure_future(_read_into(client_reader, to_server, self.delay, opened))
        await asyncio.sleep(3 * self.delay)
        try:
            server_reader, server_writer = await asyncio.open_connection(self.target_host, self.target_port)
        except OSError:
            reading.cancel()
            client_writer.close()
            return
        await asyncio.gather(reading, _send_from(to_server, server_writer),
                             _carry(server_reader, client_writer, self.delay), return_exceptions=True)
        for writer in (client_writer, server_writer):
            writer.close()


if __name__ == "__main__":
    relay = Relay(sys.argv[1], float(sys.argv[2]))
    print("PORT", relay.host_port.rpartition(":")[2], flush=True)
    threading.Event().wait()
