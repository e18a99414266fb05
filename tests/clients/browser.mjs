// Drives Debian's chromium, headless, through harnow: the root listing, a sub-directory, a
// page with a <video> that is played and seeked, and a video opened as a page. The network is
// throttled to a slow link, so a seek near the end of the clip lands beyond what has arrived.
// Prints one line "RESULT <json>" with what it saw; the Python test makes the assertions.
//
// Usage: node browser.mjs <json: {url, directory, page, screenshot, bytesPerSecond, video}>
import { chromium } from 'playwright-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const options = JSON.parse(process.argv[2]);
const STEP_MILLIS = 20000;

// No tool downloads a browser here, and nothing may reach beyond loopback.
const FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-quic'];

// Counts the pixels of a PNG that differ from its most common colour, inside a page.
async function inkOf(page, png) {
    return page.evaluate(async (dataUrl) => {
        const image = new Image();
        image.src = dataUrl;
        await image.decode();
        const canvas = document.createElement('canvas');
        canvas.width = image.width;
        canvas.height = image.height;
        const context = canvas.getContext('2d');
        context.drawImage(image, 0, 0);
        const pixels = context.getImageData(0, 0, image.width, image.height).data;
        const counts = new Map();
        for (let i = 0; i < pixels.length; i += 4) {
            const key = (pixels[i] << 16) | (pixels[i + 1] << 8) | pixels[i + 2];
            counts.set(key, (counts.get(key) || 0) + 1);
        }
        const background = Math.max(...counts.values());
        return { width: image.width, height: image.height,
            ink: image.width * image.height - background, colours: counts.size };
    }, 'data:image/png;base64,' + png.toString('base64'));
}

// Plays the page's video, seeks close to its end and reports what the element did.
async function playAndSeek(page) {
    return page.evaluate(async (limit) => {
        const video = document.querySelector('video');
        const within = (promise, what) => Promise.race([promise, new Promise((_, reject) =>
            setTimeout(() => reject(new Error('timed out: ' + what)), limit))]);
        const until = (test, what) => within(new Promise((resolve) => {
            const check = () => (test() ? resolve() : setTimeout(check, 50));
            check();
        }), what);
        const result = { seeked: false };
        try {
            await within(video.play(), 'play');
            await until(() => video.currentTime > 0.2, 'playing');
            result.duration = video.duration;
            result.target = Math.max(0, video.duration - 1.5);
            const seeked = new Promise((resolve) => video.addEventListener('seeked', resolve,
                { once: true }));
            video.currentTime = result.target;
            await within(seeked, 'seeked');
            result.seeked = true;
            result.afterSeek = video.currentTime;
            await until(() => video.ended || video.currentTime > result.target + 0.4,
                'advancing after the seek');
            result.advancedTo = video.currentTime;
            result.ended = video.ended;
        } catch (error) {
            result.failure = String(error);
        }
        result.mediaError = video.error ? video.error.code : null;
        return result;
    }, STEP_MILLIS);
}

// Opens a video as a page, as a click on its link in a listing does: Chromium shows its own
// player for a type it plays; anything else is saved as a download, which fails the goto.
async function openAsPage(page, url) {
    try {
        const type = (await page.goto(url)).headers()['content-type'];
        await page.waitForFunction(() => document.querySelector('video')?.readyState >= 1);
        return { type, duration: await page.$eval('video', (video) => video.duration) };
    } catch (error) {
        return { failure: String(error) };
    }
}

const userDataDir = mkdtempSync(join(tmpdir(), 'harnow-chromium-'));
const result = { visited: [] };
let context;
try {
    context = await chromium.launchPersistentContext(userDataDir, {
        executablePath: '/usr/bin/chromium', headless: true, args: FLAGS,
        viewport: { width: 800, height: 600 }, timeout: STEP_MILLIS,
    });
    const page = context.pages()[0] || await context.newPage();
    page.setDefaultTimeout(STEP_MILLIS);
    page.on('pageerror', (error) => { result.pageError = String(error); });
    const network = await context.newCDPSession(page);
    await network.send('Network.enable');
    await network.send('Network.emulateNetworkConditions', { offline: false, latency: 0,
        downloadThroughput: options.bytesPerSecond, uploadThroughput: -1 });
    // The status and the Range header of every response for the video, in order.
    result.media = [];
    page.on('response', (response) => {
        if (response.request().resourceType() === 'media')
            result.media.push({ url: response.url(), status: response.status(),
                range: response.request().headers().range || null });
    });

    const listing = await page.goto(options.url);
    result.visited.push({ url: page.url(), status: listing.status(), title: await page.title() });
    const png = await page.screenshot({ path: options.screenshot, fullPage: true });
    result.screenshot = await inkOf(page, png);

    await page.getByRole('link', { name: options.directory, exact: true }).click();
    await page.waitForLoadState('load');
    result.visited.push({ url: page.url(), title: await page.title() });

    await page.getByRole('link', { name: options.page, exact: true }).click();
    await page.waitForSelector('video');
    result.visited.push({ url: page.url(), title: await page.title() });
    result.video = await playAndSeek(page);
    result.opened = await openAsPage(page, options.video);
} catch (error) {
    result.failure = String(error);
} finally {
    if (context)
        await context.close().catch(() => {});
    rmSync(userDataDir, { recursive: true, force: true });
}
console.log('RESULT ' + JSON.stringify(result));
