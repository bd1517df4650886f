# The clips the quality benchmarks share, sourced by them after `die` is set.
# Every clip plays at 25 frames a second and is written as an uncompressed
# 24-bit AVI, every frame of its source once:
#   camera   photographs shipped by python3-skimage, panned and zoomed (768 x 576)
#   still    a surveillance camera's view of a square with people walking
#            (vtest.avi, opencv-doc; 768 x 576)
#   cartoon  a computer-animated film's trailer past its title cards
#            (Megamind.avi, opencv-doc; 720 x 528)
#   screen   a text editor that scrolls, a blinking cursor and a moving pointer (800 x 600)
#   fractal  ffmpeg's mandelbrot zoom, every pixel changing (640 x 360)

bench_opencv_data=/usr/share/doc/opencv-doc/examples/data

# need_package COMMAND-OR-FILE PACKAGE: installs PACKAGE with apt-get when
# neither a command nor a file of that name is there.
need_package() {
  if [ -e "$1" ] || command -v "$1" >/dev/null; then return; fi
  command -v apt-get >/dev/null || die "$2 is needed"
  apt-get install -y --no-install-recommends "$2" >/dev/null 2>&1 ||
    { apt-get update >/dev/null 2>&1 && apt-get install -y --no-install-recommends "$2" >/dev/null; } ||
    die "could not install $2"
}

# need_clip_packages "NAMES": the packages the named clips come from.
need_clip_packages() {
  case " $1 " in *" still "* | *" cartoon "*) need_package "$bench_opencv_data/vtest.avi" opencv-doc ;; esac
  case " $1 " in *" camera "*) need_package /usr/lib/python3/dist-packages/skimage python3-skimage ;; esac
}

# clip_size NAME: sets width and height.
clip_size() {
  case $1 in
  camera | still) width=768 height=576 ;;
  cartoon) width=720 height=528 ;;
  screen) width=800 height=600 ;;
  fractal) width=640 height=360 ;;
  *) die "unknown clip $1" ;;
  esac
}

bench_photo() {
  local found
  found=$(dpkg -L python3-skimage 2>/dev/null | grep "/$1\$" | head -n 1)
  [ -n "$found" ] || die "python3-skimage's $1 is missing"
  echo "$found"
}

# make_bench_clip NAME FRAMES AVI: the clip's first FRAMES frames into AVI;
# sets width and height. Each step is bounded in time.
make_bench_clip() {
  local name=$1 frames=$2 avi=$3
  clip_size "$name"
  local ff=(timeout 600 ffmpeg -hide_banner -nostats -loglevel error -y)
  local raw=(-an -fps_mode passthrough -frames:v "$frames" -c:v rawvideo -pix_fmt bgr24 "$avi")
  case $name in
  camera)
    local half=$((frames / 2))
    local pan="zoompan=z='1.15+0.004*on':x='iw/5+on*3':y='ih/6+on*2':d=1:s=${width}x${height}:fps=25"
    "${ff[@]}" -loop 1 -t 600 -i "$(bench_photo astronaut.png)" -loop 1 -t 600 -i "$(bench_photo coffee.png)" \
      -filter_complex "[0:v]scale=1536:1536,${pan},trim=end_frame=${half},setsar=1[a];[1:v]scale=1600:1200,${pan},trim=end_frame=$((frames - half)),setsar=1[b];[a][b]concat=n=2:v=1[v]" \
      -map '[v]' "${raw[@]}"
    ;;
  # -r before -i retimes the source's frames to 25 a second, dropping none.
  still) "${ff[@]}" -r 25 -i "$bench_opencv_data/vtest.avi" "${raw[@]}" ;;
  cartoon) "${ff[@]}" -r 25 -i "$bench_opencv_data/Megamind.avi" -vf "trim=start_frame=60,setpts=PTS-STARTPTS" "${raw[@]}" ;;
  screen)
    local text=/usr/share/common-licenses/GPL-3
    [ -r "$text" ] || die "$text is missing"
    # An editor window: a title bar, a gutter, text that scrolls by one line
    # every few frames, a cursor that blinks and a pointer that moves.
    "${ff[@]}" -f lavfi -i "color=c=0xf6f6f6:s=${width}x${height}:r=25,format=rgb24" \
      -f lavfi -i "color=c=black:s=2x17:r=25" -f lavfi -i "color=c=0x101010:s=10x16:r=25" \
      -filter_complex "[0:v]\
drawtext=textfile=$text:fontcolor=0x202830:fontsize=15:x=54:y=36-18*floor(n/6):line_spacing=3,\
drawbox=x=0:y=0:w=iw:h=28:c=0x3c4a5e:t=fill,drawbox=x=0:y=28:w=44:h=ih-28:c=0xe4e8ee:t=fill,\
drawtext=text='GPL-3 - editor':fontcolor=white:fontsize=16:x=12:y=6[page];\
[page][1:v]overlay=x='300+mod(n,20)*7':y=300:enable='lt(mod(n,12),6)'[typed];\
[typed][2:v]overlay=x='500+3*n':y='200+2*n',format=rgb24" \
      "${raw[@]}"
    ;;
  fractal) "${ff[@]}" -f lavfi -i "mandelbrot=s=${width}x${height}:rate=25" "${raw[@]}" ;;
  esac
}
