"""The report's map in a real browser: headless Chromium driven by WebDriver.
A hover over the plot area reads out the library's value at the node it
names; the operating points stand out on the surface under them; the colour
scale covers the measured map and none of the region outside it."""

import io
import re
import shutil
import subprocess
import sys
from decimal import ROUND_HALF_UP, Decimal

import numpy as np
import pytest

import fuelcalc
from conftest import EXAMPLE_MAP
from fuelcalc.hover import WHERE_NAMES
from fuelcalc.plot import bsfc

DRIVER = shutil.which("chromedriver")
CHROMIUM = shutil.which("chromium")
webdriver = pytest.importorskip("selenium.webdriver", reason="python3-selenium is not installed "
                                "(scripts/setup.sh test installs it)")
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

pytestmark = pytest.mark.skipif(DRIVER is None or CHROMIUM is None,
                                reason="chromium-driver is not installed "
                                       "(scripts/setup.sh test installs it)")

READOUT = re.compile(r"speed (-?\d+\.\d\d) rpm, torque (-?\d+\.\d{3}) Nm: "
                     r"fuel (-?\d+\.\d{3}|-) g/h, BSFC (-?\d+\.\d|-) g/kWh "
                     r"\((inside|below|above|beyond_speed)\)")
# Isolated operating points inside the example map: (speed, torque).
POINTS = [(800.0, 300.0), (1200.0, 700.0), (1700.0, 450.0), (2000.0, 200.0), (1450.0, 1000.0)]
VIRIDIS_ENDS = (np.array([68, 1, 84]), np.array([253, 231, 37]))


def to_fixed(value: float, decimals: int) -> str:
    """JavaScript's toFixed: the exact binary value rounded to the nearest, a
    tie away from zero."""
    return str(Decimal(value).quantize(Decimal(1).scaleb(-decimals), rounding=ROUND_HALF_UP))


@pytest.fixture(scope="module")
def browser(tmp_path_factory):
    profile = tmp_path_factory.mktemp("profile")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless", "--no-sandbox", "--disable-gpu",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--no-first-run", f"--user-data-dir={profile}",
                     "--window-size=1280,1400", "--force-device-scale-factor=1"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    driver.set_page_load_timeout(120)
    yield driver
    driver.quit()


@pytest.fixture(scope="module")
def page(tmp_path_factory):
    tmp = tmp_path_factory.mktemp("page")
    points = tmp / "points.dat"
    points.write_text("SPEED[rpm] TORQUE[Nm]\n" + "".join(f"{s} {t}\n" for s, t in POINTS))
    output = tmp / "report.html"
    run = subprocess.run([sys.executable, "-m", "fuelcalc", "report", EXAMPLE_MAP, points,
                          "-o", output, "--method", "direct"],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    return output


def open_page(driver, page):
    driver.get(page.as_uri())
    WebDriverWait(driver, 60).until(
        lambda d: d.execute_script("return document.readyState") == "complete")
    area = driver.find_element(By.CSS_SELECTOR, "#map-figure [data-plot-area]")
    driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", area)
    return area


def box(driver, element) -> dict:
    return driver.execute_script("return arguments[0].getBoundingClientRect().toJSON()", element)


def test_hover_reads_out_the_library_value(browser, page):
    m = fuelcalc.FuelMap.load(EXAMPLE_MAP, method="direct")
    area = open_page(browser, page)
    figure = browser.find_element(By.ID, "map-figure")
    low = [float(figure.get_attribute(f"data-{q}-min")) for q in ("speed", "torque")]
    high = [float(figure.get_attribute(f"data-{q}-max")) for q in ("speed", "torque")]
    r = box(browser, area)
    readout = browser.find_element(By.ID, "readout")
    seen = set()
    for fx, fy in [(0.5, 0.5), (0.12, 0.2), (0.9, 0.85), (0.03, 0.97), (0.6, 0.02)]:
        before = readout.text
        # WebDriver offsets count from the element's centre, y downwards.
        ActionChains(browser).move_to_element_with_offset(
            area, round((fx - 0.5) * r["width"]), round((0.5 - fy) * r["height"])).perform()
        WebDriverWait(browser, 30).until(lambda d: readout.text != before)
        found = READOUT.fullmatch(readout.text)
        assert found, readout.text
        s_text, t_text, f_text, b_text, where = found.groups()
        s, t = float(s_text), float(t_text)
        # The node is the one nearest the pointer (within a node and a pixel).
        ps = low[0] + fx * (high[0] - low[0])
        pt = low[1] + fy * (high[1] - low[1])
        assert abs(s - ps) < (high[0] - low[0]) * (1 / 120 + 1 / r["width"]), (s, ps)
        assert abs(t - pt) < (high[1] - low[1]) * (1 / 90 + 1 / r["height"]), (t, pt)
        fuel = m.fuel(s, t)
        assert f_text == to_fixed(fuel, 3)
        b = float(bsfc(s, t, fuel))
        assert b_text == ("-" if np.isnan(b) else to_fixed(b, 1))
        assert where == WHERE_NAMES[m.where(s, t)]
        seen.add(where)
    assert {"inside", "above"} <= seen  # the middle, and the top left over full load


def screenshot(driver, element) -> np.ndarray:
    import matplotlib.image
    return (matplotlib.image.imread(io.BytesIO(element.screenshot_as_png))[..., :3] * 255
            ).astype(int)


def test_points_stand_out_and_the_scale_covers_the_measured_map(browser, page):
    m = fuelcalc.FuelMap.load(EXAMPLE_MAP, method="direct")
    area = open_page(browser, page)
    figure = browser.find_element(By.ID, "map-figure")
    pixels = screenshot(browser, figure)
    f, a = box(browser, figure), box(browser, area)
    scale = pixels.shape[1] / f["width"]
    low = [float(figure.get_attribute(f"data-{q}-min")) for q in ("speed", "torque")]
    high = [float(figure.get_attribute(f"data-{q}-max")) for q in ("speed", "torque")]

    def pixel(speed, torque):
        x = a["left"] - f["left"] + (speed - low[0]) / (high[0] - low[0]) * a["width"]
        y = a["top"] - f["top"] + (high[1] - torque) / (high[1] - low[1]) * a["height"]
        return int(round(y * scale)), int(round(x * scale))

    ring = [(round(9 * np.sin(a_)), round(9 * np.cos(a_))) for a_ in np.linspace(0, 6.2, 16)]
    for speed, torque in POINTS:
        y, x = pixel(speed, torque)
        centre = pixels[y - 1:y + 2, x - 1:x + 2].reshape(-1, 3).mean(axis=0)
        around = np.median([pixels[y + dy, x + dx] for dy, dx in ring], axis=0)
        assert np.abs(centre - around).sum() > 150, (speed, torque, centre, around)

    # Within the measured map the colours reach both ends of the scale;
    # outside it (above full load, inside the grid) nothing is coloured.
    inside, apart = [], []
    sx, tx, _ = m.grid
    for speed in np.linspace(sx[0], sx[-1], 70)[1:-1]:
        for torque in np.linspace(tx[0], tx[-1], 70)[1:-1]:
            near = m.where(speed + np.array([-15, 0, 15, 0]), torque + np.array([0, -15, 0, 15]))
            if (near == near[0]).all():
                (inside if near[0] == 0 else apart).append(pixels[pixel(speed, torque)])
    inside, apart = np.array(inside), np.array(apart)
    for end in VIRIDIS_ENDS:
        assert (np.abs(inside - end).sum(axis=1) < 60).any(), end
    grey = apart.max(axis=1) - apart.min(axis=1) < 40
    assert len(apart) > 50 and grey.mean() > 0.9
