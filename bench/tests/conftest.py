import sys
from pathlib import Path

# The helpers live beside compare.py, which runs them as top-level modules.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
