.PHONY: setup demo test format

setup:
	scripts/setup.sh

demo:
	scripts/demo.sh

test:
	scripts/test.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
