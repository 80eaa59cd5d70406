# What each example's window must show: its title, then check-window's steps. Shared with
# scripts/test-package, which reads the same lists for the examples it builds outside the tree.
set(WRENDLE_EXAMPLE_CHECKS_triangle "Wrendle kit: triangle" pixel:150,150:FF8000
    pixel:5,5:000040 pixel:295,295:000040)
set(WRENDLE_EXAMPLE_CHECKS_scribble "Wrendle kit: scribble" pixel:200,100:FFFFFF
    drag:100,100:300,100 pixel:200,100:000080 pixel:200,60:FFFFFF move:50,250 pixel:53,250:FF0000
    pixel:50,240:FFFFFF)
set(WRENDLE_EXAMPLE_CHECKS_colours "Wrendle kit: colours" pixel:5,60:000000
    pixel:475,60:FFFFFF)
set(WRENDLE_EXAMPLE_CHECKS_keys "Wrendle kit: keys" pixel:200,150:000040 drag:100,100:110,100
    pixel:200,150:808080)
