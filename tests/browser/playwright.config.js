// The K7 panel in Debian's Chromium, headless; Playwright downloads no browser.
const { defineConfig } = require('@playwright/test');

module.exports = defineConfig({
  testDir: '.',
  testMatch: '*.test.js',
  timeout: 60000,
  retries: 0,
  workers: 1,
  // Under an emulator (Wine) a worker takes seconds to start: a restored
  // session is waited for longer there.
  expect: { timeout: process.env.ZARN_HOST_EMULATOR ? 10000 : 5000 },
  reporter: [['list']],
  use: {
    headless: true,
    viewport: { width: 1360, height: 1000 },
    acceptDownloads: true,
    launchOptions: {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    },
  },
});
