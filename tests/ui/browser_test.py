#!/usr/bin/python3
"""The window program's page in headless Chromium, driven as a player would: pick the folder,
read the table, preview, apply two formations to two accounts, check the files with the command
line's `list`, restore one account; then change files behind the page's back (it reloads its table
and applies nothing stale), apply twice (the second writes nothing), restore a restore point, undo
everything, open the page without its key, start the program a second time, and quit. Saves
screenshots in the build folder.

Usage: browser_test.py UI_PROGRAM CLI_PROGRAM EXAMPLES_FOLDER SCREENSHOT

Exits 77 (skipped) only where Chromium, its driver or Selenium is missing, and fails instead
under CI, which installs them.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


def skip(why):
    if os.environ.get("CI") == "true":
        print(f"browser_test: failed: {why}, and CI must run this test")
        sys.exit(1)
    print(f"browser_test: skipped: {why} (scripts/install-deps installs it)")
    sys.exit(SKIPPED)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support import expected_conditions as EC
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    skip("Selenium for Python (python3-selenium) is missing")
for program in (CHROMIUM, CHROMEDRIVER):
    if not os.access(program, os.X_OK):
        skip(f"{program} is missing")

ui_program, cli_program, examples, screenshot = sys.argv[1:5]
work = tempfile.mkdtemp(prefix="orvane-browser-")
folder = os.path.join(work, "settings_Default")
shutil.copytree(examples, folder)


def account_file(account):
    return os.path.join(folder, f"core_user_{account}.dat")


def cli_list(account):
    return subprocess.run([cli_program, "list", account_file(account)], check=True,
                          capture_output=True, text=True).stdout


def check(condition, what):
    if not condition:
        raise AssertionError(what)
    print(f"ok: {what}")


# The program's data folder, where it records the running instance, is the test's own; a fake
# xdg-open records what a start asks the browser to open.
state = os.path.join(work, "state")
record = os.path.join(state, "orvane-probe-formations", "instance.json")
fake_bin = os.path.join(work, "bin")
opened_log = os.path.join(work, "opened.txt")
os.mkdir(fake_bin)
with open(os.path.join(fake_bin, "xdg-open"), "w") as opener:
    opener.write(f'#!/bin/sh\nprintf "%s\\n" "$@" >> "{opened_log}"\n')
os.chmod(os.path.join(fake_bin, "xdg-open"), 0o755)
environment = dict(os.environ, XDG_STATE_HOME=state,
                   PATH=fake_bin + os.pathsep + os.environ.get("PATH", ""))

server = subprocess.Popen([ui_program, "--no-browser", folder], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, env=environment)
driver = None
try:
    address = server.stdout.readline().strip()
    check(address.startswith("http://127.0.0.1:") and "/#token=" in address,
          f"the program prints its address with the token: {address}")

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--window-size=1280,2100",
                 f"--user-data-dir={os.path.join(work, 'profile')}"):
        options.add_argument(flag)
    downloads = os.path.join(work, "downloads")
    os.mkdir(downloads)
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    # The page redraws its table and results as replies come in.
    wait = WebDriverWait(driver, 60, ignored_exceptions=(StaleElementReferenceException,))
    driver.get(address)

    # The folder given on the command line is found first and opened.
    wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "th.account-head")) == 4)
    check(driver.find_element(By.ID, "folder-path").get_attribute("value") == folder,
          "the folder given on the command line is picked")
    counts = {th.get_attribute("data-account"): th.find_element(By.CLASS_NAME, "count").text
              for th in driver.find_elements(By.CSS_SELECTOR, "th.account-head")}
    check(counts == {"1001": "3 / 10", "1002": "0 / 10", "1003": "9 / 10", "1004": "2 / 10"},
          f"each column counts its formations against ten: {counts}")
    names = [th.text for th in driver.find_elements(By.CSS_SELECTOR, "th.name")]
    check("Relic Ring" in names and "Survey Line" in names, "a row per formation name")
    check(sum(1 for n in names if n.lower() == "wide sweep") == 1,
          "names that differ only in letter case share a row")

    def row(name):
        for tr in driver.find_elements(By.CSS_SELECTOR, "#table tbody tr"):
            if tr.find_element(By.CSS_SELECTOR, "th.name").text == name:
                return tr
        raise AssertionError(f"no row {name}")

    def cell(name, account):
        return row(name).find_element(By.CSS_SELECTOR, f'td[data-account="{account}"]')

    # The picture: a dot and a range circle per probe, in both views.
    row("Relic Ring").find_element(By.CSS_SELECTOR, "th.name button").click()
    wait.until(EC.visibility_of_element_located((By.ID, "picture-section")))
    for view in ("top-view", "side-view"):
        # Probes that overlap share a dot, which lists them.
        dots = driver.find_elements(By.CSS_SELECTOR, f"#{view} g.probe")
        covered = sorted(int(n) for g in dots for n in g.get_attribute("data-probes").split())
        rings = driver.find_elements(By.CSS_SELECTOR, f"#{view} circle.range")
        check(covered == [1, 2, 3, 4, 5] and len(rings) == 5,
              f"{view} shows five probes with their ranges")

    for name in ("Relic Ring", "Pinpoint Cluster"):
        cell(name, "1001").find_element(By.CSS_SELECTOR, "input.pick-box").click()
    for account in ("1002", "1004"):
        driver.find_element(By.CSS_SELECTOR,
                            f'th.account-head[data-account="{account}"] input.target-box').click()

    driver.find_element(By.ID, "preview").click()
    wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#results .result")) == 2)
    previews = {r.get_attribute("data-account"): r.text
                for r in driver.find_elements(By.CSS_SELECTOR, "#results .result")}
    check(all("Would add 2" in text for text in previews.values()),
          f"the preview shows what each account would gain: {previews}")
    check("+ new" in cell("Relic Ring", "1004").text, "the table marks the formations to come")
    check(cli_list("1002").startswith("0 formation(s)"), "a preview writes nothing")

    driver.find_element(By.ID, "apply").click()
    wait.until(EC.alert_is_present())
    driver.switch_to.alert.accept()
    wait.until(lambda d: any("Added 2" in r.text
                             for r in d.find_elements(By.CSS_SELECTOR, "#results .result")))
    check(cli_list("1002") == "2 formation(s)\nPinpoint Cluster\t4 probe(s)\nRelic Ring\t5 probe(s)\n",
          "the command line lists the two new formations of account 1002")
    listed = cli_list("1004")
    check(listed.startswith("4 formation(s)") and "Relic Ring\t5 probe(s)" in listed,
          "the command line lists four formations in account 1004")
    wait.until(lambda d: d.find_element(
        By.CSS_SELECTOR, 'th.account-head[data-account="1004"] .count').text == "4 / 10")
    driver.save_screenshot(screenshot)
    print(f"screenshot: {screenshot}")

    driver.find_element(By.CSS_SELECTOR, 'th.account-head[data-account="1004"] button.restore').click()
    wait.until(EC.alert_is_present())
    driver.switch_to.alert.accept()
    wait.until(lambda d: d.find_element(
        By.CSS_SELECTOR, 'th.account-head[data-account="1004"] .count').text == "2 / 10")
    with open(account_file("1004"), "rb") as restored, \
            open(os.path.join(examples, "core_user_1004.dat"), "rb") as original:
        check(restored.read() == original.read(), "restoring 1004 gives back its original bytes")
    check(cli_list("1002").startswith("2 formation(s)"), "the other account keeps its formations")

    # A package file saved from an account, then opened as one a friend sent.
    driver.find_element(By.CSS_SELECTOR, 'th.account-head[data-account="1003"] button[aria-label^="Package"]').click()
    # Named after what it holds: the first formation and how many more.
    def saved_package():
        names = [n for n in os.listdir(downloads) if n.endswith(" + 8 more.json")]
        path = os.path.join(downloads, names[0]) if names else None
        return path if path and os.path.getsize(path) > 0 else None

    wait.until(lambda d: saved_package())
    saved = saved_package()
    exported = os.path.join(work, "exported.json")
    subprocess.run([cli_program, "export", account_file("1003"), exported], check=True,
                   capture_output=True)
    with open(saved, "rb") as a, open(exported, "rb") as b:
        check(a.read() == b.read(), "the page saves the package file export writes")
    driver.find_element(By.ID, "upload").send_keys(saved)
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "th.package-head"))
    check(len(cell("Hex Spread", "1003").find_elements(By.CSS_SELECTOR, "input")) == 1 and
          len(row("Hex Spread").find_elements(By.CSS_SELECTOR, "td")[-1]
              .find_elements(By.CSS_SELECTOR, "input.pick-box")) == 1,
          "an opened package file shows as a column of its own")

    driver.refresh()
    wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "th.account-head")) == 4)
    check(True, "the page still works after a reload, without the token in its address")

    main_tab = driver.current_window_handle
    page = address.split("#", 1)[0]
    # A bookmark, the history or a new tab: no key, or the key of a run that has ended.
    for description, url in (("without its token", page),
                             ("with an earlier run's token", page + "#token=" + "0" * 32)):
        driver.switch_to.new_window("tab")
        driver.get(url)
        wait.until(EC.visibility_of_element_located((By.ID, "no-key")))
        text = driver.find_element(By.ID, "no-key").text
        check("Start Orvane Probe Formations again: it opens this page with its key." in text and
              not driver.find_element(By.ID, "app").is_displayed(),
              f"the page opened {description} says what to do and waits on nothing: {text!r}")
        driver.close()
        driver.switch_to.window(main_tab)

    # A second start hands over to this run: with --no-browser it prints this run's address;
    # otherwise it has the browser open a private file that forwards to this run's page.
    for arguments, opens in ((["--no-browser"], False), ([folder], True)):
        second = subprocess.run([ui_program] + arguments, capture_output=True, text=True,
                                env=environment, timeout=30)
        # xdg-open runs on its own, after the start has ended.
        deadline = time.monotonic() + (10 if opens else 1)
        while time.monotonic() < deadline and not (os.path.exists(opened_log) and
                                                   open(opened_log).read().endswith("\n")):
            time.sleep(0.05)
        opened = open(opened_log).read().split() if os.path.exists(opened_log) else []
        check(second.returncode == 0 and second.stdout.splitlines()[:1] == [address] and
              "already running" in second.stderr and len(opened) == (1 if opens else 0),
              f"a second start {' '.join(arguments)} ends, printing the running one's address")
    check(not any("token" in argument for argument in opened) and
          os.stat(opened[0]).st_mode & 0o777 == 0o600,
          f"the browser is handed a file only the user may read, not the token: {opened}")
    driver.switch_to.new_window("tab")
    driver.get("file://" + opened[0])
    wait.until(lambda d: d.current_url.startswith(page) and
               len(d.find_elements(By.CSS_SELECTOR, "th.account-head")) == 4)
    check(driver.current_url == page, "the forwarded page works and shows no token in its address")
    def read_bytes(path):
        with open(path, "rb") as f:
            return f.read()

    # The page redraws its table whenever a listing comes back (on focus, say), so a box found a
    # moment ago may be gone: found again until it holds still.
    def settle(action):
        for _ in range(20):
            try:
                return action()
            except StaleElementReferenceException:
                time.sleep(0.1)
        return action()

    def tick(name, account):
        def once():
            box = cell(name, account).find_element(By.CSS_SELECTOR, "input.pick-box")
            if not box.is_selected():
                box.click()
        settle(once)

    def target(account, on=True):
        def once():
            box = driver.find_element(
                By.CSS_SELECTOR, f'th.account-head[data-account="{account}"] input.target-box')
            if box.is_selected() != on:
                box.click()
        settle(once)

    def count_of(account):
        return driver.find_element(
            By.CSS_SELECTOR, f'th.account-head[data-account="{account}"] .count').text

    def press_apply():
        driver.find_element(By.ID, "apply").click()
        wait.until(EC.alert_is_present())
        driver.switch_to.alert.accept()

    # The source changes on disk after the page read it: its id 2 is now another formation.
    tick("Wide Sweep", "1001")
    target("1002")
    before_1002 = read_bytes(account_file("1002"))
    shutil.copyfile(os.path.join(examples, "core_user_1004.dat"), account_file("1001"))
    press_apply()
    wait.until(lambda d: count_of("1001") == "2 / 10")
    check(read_bytes(account_file("1002")) == before_1002,
          "an apply from a source that changed on disk writes nothing")
    check("changed on disk" in driver.find_element(By.ID, "results").text,
          "the page says why nothing was written")
    check("unticked" in driver.find_element(By.ID, "table-message").text and
          not driver.find_elements(By.CSS_SELECTOR, "input.pick-box:checked"),
          "the tick whose formation is gone is dropped, with a line saying so")
    check("Anchor Point" in [th.text for th in driver.find_elements(By.CSS_SELECTOR, "th.name")],
          "the table shows the source as it now is")

    # Another program changes a file while the page is out of sight; looking again shows it.
    shutil.copyfile(os.path.join(examples, "core_user_1003.dat"), account_file("1004"))
    driver.execute_script("window.dispatchEvent(new Event('focus'))")
    wait.until(lambda d: count_of("1004") == "9 / 10")
    check("Changed on disk" in driver.find_element(By.ID, "table-message").text,
          "the page reloads its table when it is looked at again, and says which account changed")

    # Two Applies in a row: the second finds everything there and writes nothing.
    tick("Hex Spread", "1003")
    target("1002")
    press_apply()
    wait.until(lambda d: any("Added 1" in r.text
                             for r in d.find_elements(By.CSS_SELECTOR, "#results .result")))
    after_first = read_bytes(account_file("1002"))
    backup = account_file("1002") + ".before-probe-formations"
    backup_after_first = read_bytes(backup)
    check(backup_after_first == before_1002, "the first apply backs the account up")
    wait.until(lambda d: not d.find_element(By.ID, "apply").get_attribute("disabled"))
    press_apply()
    wait.until(lambda d: any("already holds every ticked formation" in r.text
                             for r in d.find_elements(By.CSS_SELECTOR, "#results .result")))
    check(read_bytes(account_file("1002")) == after_first and
          read_bytes(backup) == backup_after_first,
          "the second apply leaves the account and its backup as they were")

    # Undo everything since this folder was opened (in this tab: since the reload above).
    undo = driver.find_element(By.ID, "undo-all")
    check(undo.is_displayed(), "the page offers to undo everything it changed")
    undo.click()
    wait.until(EC.alert_is_present())
    driver.switch_to.alert.accept()
    wait.until(lambda d: any("state before the first change" in r.text
                             for r in d.find_elements(By.CSS_SELECTOR, "#results .result")))
    check(read_bytes(account_file("1002")) == before_1002,
          "undo everything puts the account back as it was before the page's first change")

    # The undo kept a restore point of its own: restoring it brings Hex Spread back.
    driver.find_element(By.CSS_SELECTOR,
                        'th.account-head[data-account="1002"] button.history').click()
    wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#restore-points li")) >= 2)
    reasons = [li.find_element(By.CLASS_NAME, "reason").text
               for li in driver.find_elements(By.CSS_SELECTOR, "#restore-points li")]
    check(reasons[0] == "before restoring the state before adding Hex Spread" and
          reasons[1] == "before adding Hex Spread",
          f"the restore points say what each change was, newest first: {reasons}")
    driver.save_screenshot(screenshot.replace(".png", "-restore-points.png"))
    driver.find_elements(By.CSS_SELECTOR, "#restore-points li button")[0].click()
    wait.until(EC.alert_is_present())
    driver.switch_to.alert.accept()
    wait.until(lambda d: any("Restored from the restore point" in r.text
                             for r in d.find_elements(By.CSS_SELECTOR, "#results .result")))
    check(read_bytes(account_file("1002")) == after_first,
          "restoring a restore point gives back the account's bytes")

    driver.find_element(By.ID, "quit").click()
    wait.until(EC.visibility_of_element_located((By.ID, "stopped")))
    check(server.wait(timeout=10) == 0, "Quit ends the program")
    check("has stopped" in server.stderr.read(), "the program says it has stopped")
    check(not os.path.exists(record), "the stopped program's record is gone")
    print("browser_test: passed")
finally:
    if driver is not None:
        driver.quit()
    if server.poll() is None:
        server.kill()
        server.wait()
    shutil.rmtree(work, ignore_errors=True)
