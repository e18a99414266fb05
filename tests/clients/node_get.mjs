// Prints [status, reason, headers, body as latin1] of one address as Node's http module and
// fetch read it, as JSON; a range goes with the header name 'range', as JavaScript spells it.
import { get } from 'node:http';
const [url, range] = process.argv.slice(2), headers = range ? { range } : {};
const reply = await new Promise((ok, fail) => get(url, { headers }, ok).on('error', fail));
const body = Buffer.concat(await reply.toArray()), fetched = await fetch(url, { headers });
console.log(JSON.stringify([[reply.statusCode, reply.statusMessage, reply.headers, body],
    [fetched.status, fetched.statusText, Object.fromEntries(fetched.headers),
        Buffer.from(await fetched.arrayBuffer())]].map(([s, r, h, b]) => [s, r, h, b.toString('latin1')])));
