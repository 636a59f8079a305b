// Renders many Mermaid diagrams in one browser page, loading Mermaid once, with the packages of
// the mermaid-cli install whose program is given, and the page and settings its mmdc uses.
//
//   node render_diagrams.mjs <mmdc> <job file>
//
// The job file is JSON: {"timeout_ms": N, "diagrams": [{"text": "...", "output": "x.svg"}]}.
// Diagram texts travel only as data, handed to the page as arguments. Each diagram ends as its
// SVG in "output" (written as output.part, then renamed) or as one line of text in
// output.error. A diagram that takes longer than timeout_ms fails, the browser is ended with
// it, and the next diagrams get a new one. Exit status 0 when the job was read, 2 otherwise.

import fs from "node:fs";
import { createRequire } from "node:module";
import path from "node:path";
import url from "node:url";

const ORIGIN = "https://torvane-diagrams.invalid";
const STYLES = [
  "@fortawesome/fontawesome-free/css/brands.css",
  "@fortawesome/fontawesome-free/css/regular.css",
  "@fortawesome/fontawesome-free/css/solid.css",
  "@fortawesome/fontawesome-free/css/fontawesome.css",
  "katex/dist/katex.css",
];

function oneLine(error) {
  const text = String(error && error.message ? error.message : error);
  return text.replace(/\s+/g, " ").trim().slice(0, 1000) || "unknown error";
}

function writeAtomically(target, data) {
  const part = target + ".part";
  fs.writeFileSync(part, data);
  fs.renameSync(part, target);
}

class Bound extends Error {}

function within(ms, promise, what) {
  let timer;
  const late = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Bound(`${what} took longer than ${ms / 1000} s`)), ms);
  });
  return Promise.race([promise, late]).finally(() => clearTimeout(timer));
}

// Where the install keeps what mmdc loads into its page: resolved as mmdc resolves them.
function packageFiles(cli) {
  const require = createRequire(cli);
  const dir = (name) => path.dirname(require.resolve(name));
  const optional = (name, file) => {
    try {
      return path.join(dir(name), file);
    } catch {
      return null;
    }
  };
  const mermaidDir = path.dirname(require.resolve("mermaid/package.json"));
  return {
    puppeteer: require.resolve("puppeteer"),
    page: path.join(path.dirname(cli), "..", "dist", "index.html"),
    mermaid: path.join(mermaidDir, "dist", "mermaid.esm.mjs"),
    elk: optional("@mermaid-js/layout-elk", "mermaid-layout-elk.esm.mjs"),
    zenuml: optional("@mermaid-js/mermaid-zenuml", "mermaid-zenuml.esm.mjs"),
    tidyTree: optional("@mermaid-js/layout-tidy-tree", "mermaid-layout-tidy-tree.esm.mjs"),
    styles: STYLES.map((name) => {
      try {
        return require.resolve(name);
      } catch {
        return null;
      }
    }).filter(Boolean),
  };
}

// Serves the files the page asks for from the folders of the packages above, nothing else.
function interceptor(files) {
  const roots = [files.mermaid, files.elk, files.zenuml, files.tidyTree]
    .filter(Boolean)
    .map((file) => path.dirname(fs.realpathSync(file)));
  for (const style of files.styles) roots.push(path.dirname(path.dirname(fs.realpathSync(style))));
  const types = { ".css": "text/css;charset=UTF-8", ".js": "application/javascript",
                  ".mjs": "application/javascript", ".woff2": "font/woff2",
                  ".ttf": "font/ttf", ".woff": "font/woff" };
  const toUrl = (file) => file && ORIGIN + url.pathToFileURL(fs.realpathSync(file)).pathname;
  const handler = async (request) => {
    if (!request.url().startsWith(ORIGIN)) return request.continue();
    try {
      const file = fs.realpathSync(url.fileURLToPath(new URL(request.url().slice(ORIGIN.length), "file://")));
      const type = types[path.extname(file).toLowerCase()];
      if (!type || !roots.some((root) => !path.relative(root, file).startsWith(".."))) {
        return request.abort();
      }
      return request.respond({ status: 200, headers: { "Access-Control-Allow-Origin": "*" },
                               contentType: type, body: fs.readFileSync(file) });
    } catch {
      return request.abort();
    }
  };
  return { toUrl, handler };
}

async function openPage(puppeteer, files, bound) {
  const browser = await puppeteer.launch({ headless: "shell" });
  try {
    const page = await browser.newPage();
    await within(bound, (async () => {
      await page.setViewport({ width: 800, height: 600, deviceScaleFactor: 1 });
      await page.goto(url.pathToFileURL(files.page).href);
      await page.$eval("body", (body) => { body.style.background = "white"; });
      const serve = interceptor(files);
      page.on("request", serve.handler);
      await page.setRequestInterception(true);
      for (const style of files.styles) await page.addStyleTag({ url: serve.toUrl(style) });
      await page.evaluate(async (urls) => {
        const { default: mermaid } = await import(urls.mermaid);
        const elk = urls.elk ? (await import(urls.elk)).default : [];
        const zenuml = urls.zenuml ? (await import(urls.zenuml)).default : null;
        const tidy = urls.tidyTree ? (await import(urls.tidyTree)).default : [];
        await Promise.all(Array.from(document.fonts, (font) => font.load()));
        if (zenuml) await mermaid.registerExternalDiagrams([zenuml]);
        mermaid.registerLayoutLoaders([...elk, ...(tidy ?? [])]);
        window.torvaneRender = async (definition) => {
          const container = document.getElementById("container");
          container.innerHTML = "";
          mermaid.initialize({ startOnLoad: false, theme: "default" });
          const { svg: svgText } = await mermaid.render("my-svg", definition, container);
          container.innerHTML = svgText;
          const svg = container.getElementsByTagName("svg")[0];
          if (svg && svg.style) svg.style.backgroundColor = "white";
          return new XMLSerializer().serializeToString(svg);
        };
      }, { mermaid: serve.toUrl(files.mermaid), elk: serve.toUrl(files.elk),
           zenuml: serve.toUrl(files.zenuml), tidyTree: serve.toUrl(files.tidyTree) });
    })(), "loading Mermaid");
    return { browser, page };
  } catch (error) {
    await end(browser);
    throw error;
  }
}

// Ends the browser, also when its page is stuck in a diagram.
async function end(browser) {
  const child = browser.process();
  try {
    await within(5000, browser.close(), "closing the browser");
  } catch {
    if (child && child.pid) {
      try { process.kill(-child.pid, "SIGKILL"); } catch { child.kill("SIGKILL"); }
    }
  }
}

async function main() {
  const [cli, jobFile] = process.argv.slice(2);
  let job;
  let files;
  let puppeteer;
  try {
    job = JSON.parse(fs.readFileSync(jobFile, "utf8"));
    files = packageFiles(fs.realpathSync(cli));
    puppeteer = (await import(url.pathToFileURL(files.puppeteer).href)).default;
  } catch (error) {
    process.stderr.write(`render_diagrams: ${oneLine(error)}\n`);
    return 2;
  }
  const bound = job.timeout_ms || 60000;
  let open = null;
  for (const [i, diagram] of job.diagrams.entries()) {
    if (!open) {
      try {
        open = await openPage(puppeteer, files, bound);
      } catch (error) {
        // Without a page no diagram can be rendered: each one says why.
        const line = `cannot start the browser page: ${oneLine(error)}\n`;
        for (const rest of job.diagrams.slice(i)) fs.writeFileSync(rest.output + ".error", line);
        return 0;
      }
    }
    try {
      const svg = await within(bound, open.page.evaluate((text) => window.torvaneRender(text),
                                                         diagram.text), "the diagram");
      writeAtomically(diagram.output, svg);
    } catch (error) {
      fs.writeFileSync(diagram.output + ".error", oneLine(error) + "\n");
      if (error instanceof Bound && open) {
        await end(open.browser);
        open = null;
      }
    }
  }
  if (open) await end(open.browser);
  return 0;
}

process.exitCode = await main();
