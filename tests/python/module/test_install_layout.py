"""What the installed distribution puts in site-packages."""

from importlib import metadata


def test_files_at_the_root_of_site_packages_belong_to_kestova():
    root_files = {str(f) for f in metadata.files("kestova") if "/" not in str(f)}
    assert "kestova.pyi" in root_files
    assert "py.typed" not in root_files  # a marker there would claim every package of the folder
    assert all(f.startswith("kestova") for f in root_files), root_files


def test_the_command_is_installed():
    scripts = metadata.distribution("kestova").entry_points.select(group="console_scripts")
    assert {(e.name, e.value) for e in scripts} == {("kestova", "kestova_cli.main:main")}
