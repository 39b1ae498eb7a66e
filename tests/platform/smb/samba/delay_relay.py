#!/usr/bin/python3
"""A TCP relay that delays every request: what the client sends reaches the
server DELAY_MS later, in order; replies pass at once. It stands in for a
slow link where the kernel has no netem. With CUT_HEX, a connection whose
client sends those bytes (hex) is closed at once, both ways, before they
reach the server.

    delay_relay.py LISTEN_ADDRESS PORT TARGET_ADDRESS TARGET_PORT DELAY_MS [CUT_HEX]
"""
import asyncio
import sys


async def pump(reader, writer, delay, cut=b"", others=()):
    loop = asyncio.get_running_loop()
    tail = b""
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            if cut and cut in tail + data:
                for other in others:
                    other.close()
                break
            tail = (tail + data)[-len(cut):] if cut else b""
            if delay > 0:
                loop.call_later(delay, writer.write, data)
            else:
                writer.write(data)
    except (ConnectionError, OSError):
        pass
    finally:
        if delay > 0:
            await asyncio.sleep(delay)
        writer.close()


async def main():
    listen, port, target, target_port, delay_ms = sys.argv[1:6]
    delay = float(delay_ms) / 1000
    cut = bytes.fromhex(sys.argv[6]) if len(sys.argv) > 6 else b""

    async def relay(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection(target, int(target_port))
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, delay, cut, (client_writer, server_writer)),
                             pump(server_reader, client_writer, 0))

    server = await asyncio.start_server(relay, listen, int(port))
    print("relay ready", flush=True)
    async with server:
        await server.serve_forever()


asyncio.run(main())
