// A third-party ONVIF client (the npm package "onvif") against the simulator, as an
// integrator would point one at it: connect, live view, snapshot and PTZ.
// Usage: node onvif-client.js HARNOQUISTEL_EXE [--site LIBRARY]; exits 77 (skipped) without the package.
// With --site: camera 3 of a site of 16, while `harnoquistel record` records camera 16, and
// faults named for one camera or for all.
'use strict';
const { spawn, execFileSync } = require('child_process');
const http = require('http');
const fs = require('fs');
const os = require('os');
const path = require('path');

// Where scripts/setup installs it, else wherever node finds it.
const npmDir = process.env.HARNOQUISTEL_NPM_DIR || path.join(os.homedir(), '.cache', 'harnoquistel', 'npm');
let onvif;
try {
  onvif = require(require.resolve('onvif', { paths: [path.join(npmDir, 'node_modules'), ...module.paths] }));
} catch (e) {
  console.log('SKIPPED: the npm package onvif is not installed (scripts/setup installs it when npm exists)');
  process.exit(77);
}

const exe = process.argv[2];
const library = process.argv[3] === '--site' ? process.argv[4] : null;
const log = path.join(os.tmpdir(), `sim-onvif-client-${process.pid}.log`);
const sim = spawn(exe, ['sim', '--http-port', '0', '--rtsp-port', '0', '--ptz-port', '0', '--log', log,
                        ...(library ? ['--cameras', '16', '--no-discovery', '--json', '--fault',
                                       '2:onvif-fault=GetScopes', '--fault', 'onvif-fault=GetHostname'] : [])],
                  { stdio: ['ignore', 'pipe', 'inherit'] });
const deadline = setTimeout(() => fail('the whole exchange took longer than 60 s'), 60000);
let failures = 0;

function fail(why) {
  console.log(`FAILED: ${why}`);
  sim.kill('SIGTERM');
  process.exit(1);
}

function check(condition, what) {
  console.log(`${condition ? 'ok' : 'FAILED'}: ${what}`);
  if (!condition)
    ++failures;
}

const call = (cam, method, ...args) => new Promise((resolve, reject) => {
  cam[method](...args, (err, result) => (err ? reject(new Error(`${method}: ${err.message}`)) : resolve(result)));
});
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const probe = (url) => execFileSync('ffprobe', ['-v', 'error', '-rtsp_transport', 'tcp', '-show_entries',
  'stream=codec_name,width,height', '-of', 'csv=p=0', url], { timeout: 20000 }).toString().trim();
const withUser = (uri) => uri.replace('://', '://admin:admin@');

const connect = (host, port) => new Promise((resolve, reject) => {
  const c = new onvif.Cam({ hostname: host, port, username: 'admin', password: 'admin', timeout: 10000 },
                          (err) => (err ? reject(err) : resolve(c)));
});
const fails = (promise) => promise.then(() => false, () => true);

async function main(ports) {
  const cam = await connect(ports.host, ports.http);
  check(cam.profiles.length === 2 && cam.videoSources, `connect: ${cam.profiles.length} profiles and the video sources`);
  const services = await call(cam, 'getServices', true);
  check(services.some((s) => s.namespace === 'http://www.onvif.org/ver20/ptz/wsdl'), 'GetServices names the PTZ service');
  const scopes = await call(cam, 'getScopes');
  check(scopes.some((s) => /type\/ptz$/.test(s.scopeItem)), 'GetScopes');
  await call(cam, 'getVideoSources');
  const profiles = await call(cam, 'getProfiles');
  const token = profiles[0].$.token;
  check(token === 'Profile_1_1', `GetProfiles: ${token}`);

  const stream = await call(cam, 'getStreamUri', { protocol: 'RTSP', profileToken: token });
  const size = probe(withUser(stream.uri));
  check(size === 'h264,1280,720' && stream.uri.startsWith(`rtsp://${ports.host}:${ports.rtsp}/`),
        `GetStreamUri ${stream.uri}: ffprobe sees ${size}`);
  execFileSync('ffmpeg', ['-v', 'error', '-rtsp_transport', 'tcp', '-i', withUser(stream.uri), '-frames:v', '30',
    '-f', 'null', '-'], { timeout: 20000 });
  check(true, 'ffmpeg played 30 frames of it');
  const snapshot = await call(cam, 'getSnapshotUri', { profileToken: token });
  const picture = probe(withUser(snapshot.uri));
  check(picture === 'mjpeg,1280,720', `GetSnapshotUri ${snapshot.uri}: a ${picture} picture`);

  const nodes = await call(cam, 'getNodes');
  check(Object.keys(nodes).length === 1, 'GetNodes: one node');
  const status = async () => call(cam, 'getStatus', { profileToken: token });
  let s = await status();
  check(s.position.x === 0 && s.moveStatus.panTilt === 'IDLE', 'GetStatus: the head rests at 0');
  await call(cam, 'continuousMove', { profileToken: token, x: 0.5, y: 0, zoom: 0 });
  await sleep(400);
  s = await status();
  check(s.moveStatus.panTilt === 'MOVING' && s.position.x > 0.1, `ContinuousMove: pans, at ${s.position.x}`);
  await call(cam, 'stop', { profileToken: token, panTilt: true, zoom: true });
  s = await status();
  const stoppedAt = s.position.x;
  await sleep(200);
  s = await status();
  check(s.moveStatus.panTilt === 'IDLE' && s.position.x === stoppedAt, `Stop: holds at ${stoppedAt}`);

  await call(cam, 'setPreset', { profileToken: token, presetName: 'door' });
  const presets = await call(cam, 'getPresets', { profileToken: token });
  const preset = presets.door && presets.door.$.token;
  check(preset && Number(presets.door.PTZPosition.panTilt.$.x) === stoppedAt, `SetPreset and GetPresets: door is ${preset}`);

  // The vendor CGI drives the same head: pan left at full speed, then stop.
  const cgi = (word, value) => new Promise((resolve, reject) => {
    http.get({ host: ports.host, port: ports.ptz, path: `/cgi-bin/run?ptz.cgi%20${word}%20${value}`, auth: 'admin:admin' }, (res) => {
      res.resume();
      res.on('end', () => resolve(res.statusCode));
    }).on('error', reject);
  });
  await cgi('pan', -100);
  await sleep(300);
  check((await status()).moveStatus.panTilt === 'MOVING', 'a CGI pan shows in GetStatus');
  await cgi('pan', 0);
  s = await status();
  check(s.position.x < stoppedAt, `the CGI moved the head to ${s.position.x}`);

  await call(cam, 'gotoPreset', { profileToken: token, preset });
  await sleep(1200);
  s = await status();
  check(Math.abs(s.position.x - stoppedAt) < 1e-6 && s.moveStatus.panTilt === 'IDLE', `GotoPreset: back at ${s.position.x}`);

  const lines = fs.readFileSync(log, 'utf8').split('\n');
  for (const op of ['GetServices', 'GetScopes', 'GetVideoSources', 'GetSnapshotUri', 'ContinuousMove', 'Stop', 'GotoPreset'])
    check(lines.includes(`${ports.prefix}onvif ${op}`), `the request log has ${ports.prefix}onvif ${op}`);
  check(lines.includes(`${ports.prefix}cgi /cgi-bin/run?ptz.cgi%20pan%20-100`), 'the request log has the CGI pan');
  return cam;
}

// Our own command records camera 16 of the site meanwhile; its report once it ends.
function recordCamera(camera) {
  const out = path.join(os.tmpdir(), `sim-site-record-${process.pid}.h264`);
  const env = { ...process.env, HARNOQUISTEL_LIBRARY: library, HARNOQUISTEL_PASSWORD: 'admin' };
  const recorder = spawn(exe, ['record', `${camera.address}:${camera.http}`, '--ptz-port', String(camera.ptz),
                               '--duration', '6', '--size', '640x480', '--out', out, '--overwrite', '--json'],
                         { env, stdio: ['ignore', 'pipe', 'inherit'] });
  let text = '';
  recorder.stdout.on('data', (chunk) => { text += chunk; });
  return new Promise((resolve) => recorder.on('exit', (code) => {
    fs.rmSync(out, { force: true });
    resolve({ code, text });
  }));
}

async function site(cameras) {
  const recording = recordCamera(cameras[15]);
  const c = cameras[2];
  const cam = await main({ host: c.address, http: c.http, rtsp: c.rtsp, ptz: c.ptz, prefix: 'camera 3 ' });
  const info = await call(cam, 'getDeviceInformation');
  check(c.address === '127.0.1.3' && info.serialNumber === 'SIM-0003', `camera 3 is ${c.address} ${info.serialNumber}`);
  const two = await connect(cameras[1].address, cameras[1].http);
  check(await fails(call(two, 'getScopes')) && await fails(call(cam, 'getHostname')),
        'a fault named for camera 2 stays with it (camera 3 answered GetScopes); one named for none applies to all');
  const { code, text } = await recording;
  let frames = 0;
  try { frames = JSON.parse(text).frames; } catch (e) { /* checked below */ }
  check(code === 0 && frames > 100, `harnoquistel record on camera 16 at the same time: ${frames} frames (exit ${code})`);
  const lines = fs.readFileSync(log, 'utf8').split('\n');
  check(lines.some((l) => l.startsWith('camera 16 rtsp PLAY rtsp://127.0.1.16:')), 'camera 16 played to the recorder');
}

try {
  execFileSync(exe, ['sim', '--fault', 'teleport'], { stdio: 'ignore' });
  check(false, 'an unknown fault is refused');
} catch (e) {
  check(e.status === 2, `an unknown fault is refused (exit ${e.status})`);
}

let out = '';
sim.stdout.on('data', (chunk) => {
  if (out === null)
    return;
  out += chunk;
  const m = /ready http=(\d+) rtsp=(\d+) ptz=(\d+)/.exec(out);
  const json = library && /^\{.*\}$/m.exec(out);
  if (!m && !json)
    return;
  out = null;
  (json ? site(JSON.parse(json[0]).cameras)
        : main({ host: '127.0.0.1', http: Number(m[1]), rtsp: Number(m[2]), ptz: Number(m[3]), prefix: '' }))
    .catch((e) => { console.log(`FAILED: ${e.message}`); ++failures; })
    .finally(() => {
      clearTimeout(deadline);
      sim.on('exit', (code) => {
        check(code === 0, `the simulator ends on SIGTERM (exit ${code})`);
        fs.rmSync(log, { force: true });
        console.log(failures ? `${failures} checks failed` : 'all checks passed');
        process.exit(failures ? 1 : 0);
      });
      sim.kill('SIGTERM');
    });
});
sim.on('exit', (code) => { if (out !== null) fail(`the simulator exited (${code}) before it was ready`); });
